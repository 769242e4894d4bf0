#include "base/Utf8.h"

namespace
{
    unsigned char byteAt (std::string_view text, std::size_t pos) noexcept
    {
        return static_cast<unsigned char> (text[pos]);
    }
}

bool Utf8::decode (std::string_view text, std::size_t& pos, char32_t& codePoint)
{
    const auto lead = byteAt (text, pos);

    if (lead < 0x80)
    {
        codePoint = lead;
        ++pos;
        return true;
    }

    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;

    if ((lead & 0xe0) == 0xc0)      { length = 2; value = lead & 0x1fu; minimum = 0x80; }
    else if ((lead & 0xf0) == 0xe0) { length = 3; value = lead & 0x0fu; minimum = 0x800; }
    else if ((lead & 0xf8) == 0xf0) { length = 4; value = lead & 0x07u; minimum = 0x10000; }
    else
    {
        ++pos;
        return false;
    }

    if (pos + length > text.size())
    {
        ++pos;
        return false;
    }

    for (std::size_t i = 1; i < length; ++i)
    {
        const auto next = byteAt (text, pos + i);

        if ((next & 0xc0) != 0x80)
        {
            ++pos;
            return false;
        }

        value = (value << 6) | (next & 0x3fu);
    }

    if (value < minimum || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
    {
        ++pos;
        return false;
    }

    codePoint = value;
    pos += length;
    return true;
}

bool Utf8::isValid (std::string_view text)
{
    std::size_t pos = 0;
    char32_t c = 0;

    while (pos < text.size())
        if (! decode (text, pos, c))
            return false;

    return true;
}

std::size_t Utf8::countCodePoints (std::string_view text)
{
    std::size_t count = 0;

    for (const auto c : text)
        if ((static_cast<unsigned char> (c) & 0xc0) != 0x80)
            ++count;

    return count;
}

std::string Utf8::asciiLower (std::string_view text)
{
    std::string result (text);

    for (auto& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char> (c - 'A' + 'a');

    return result;
}

bool Utf8::hasControlCharacters (std::string_view text)
{
    for (const auto c : text)
    {
        const auto b = static_cast<unsigned char> (c);

        if (b < 0x20 || b == 0x7f)
            return true;
    }

    return false;
}
