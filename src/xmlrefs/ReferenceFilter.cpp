#include "xmlrefs/ReferenceFilter.h"

#include <cstdint>

namespace xmlrefs
{
namespace
{
    // The stand-ins are U+10FE00 + k: k = 1 to 31 for the control characters,
    // 0x3e and 0x3f for U+FFFE and U+FFFF, and k = 0 marks a character of the
    // range that a document holds for itself. In UTF-8: F4 8F B8, then 0x80 + k.
    constexpr std::uint32_t standInBase = 0x10fe00;
    constexpr std::uint32_t standInCount = 0x40;
    constexpr unsigned char standInLead[] = { 0xf4, 0x8f, 0xb8 };
    constexpr const char* markerReference = "&#x10FE00;";
    constexpr std::size_t longestReference = 40;   // "&#" with leading zeros; longer ones pass untouched

    constexpr std::uint32_t standInIndexOf (std::uint32_t character) noexcept
    {
        if (character == 0xfffe)
            return 0x3e;

        if (character == 0xffff)
            return 0x3f;

        // Tab, line feed and carriage return are XML 1.0 characters.
        if (character >= 1 && character < 0x20 && character != 0x9 && character != 0xa && character != 0xd)
            return character;

        return 0;
    }

    bool isStandInTail (unsigned char byte) noexcept
    {
        return byte >= 0x80 && byte < 0x80 + standInCount;
    }

    bool isStandInAt (std::string_view text, std::size_t position) noexcept
    {
        return position + 4 <= text.size()
            && (unsigned char) text[position] == standInLead[0]
            && (unsigned char) text[position + 1] == standInLead[1]
            && (unsigned char) text[position + 2] == standInLead[2]
            && isStandInTail ((unsigned char) text[position + 3]);
    }

    std::string standInReference (std::uint32_t index)
    {
        static constexpr char hex[] = "0123456789ABCDEF";
        std::string reference ("&#x10FE");
        reference += hex[index >> 4];
        reference += hex[index & 0xf];
        reference += ';';
        return reference;
    }

    bool isDigit (char c) noexcept       { return c >= '0' && c <= '9'; }

    bool isHexDigit (char c) noexcept
    {
        return isDigit (c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }

    /** The value of a complete reference "&#...;" or "&#x...;", or more than
        0x10FFFF when it is out of range or has no digits. */
    std::uint32_t referenceValue (std::string_view reference) noexcept
    {
        constexpr std::uint32_t tooLarge = 0x110000;
        const bool hexadecimal = reference.size() > 2 && reference[2] == 'x';
        const auto digits = reference.substr (hexadecimal ? 3 : 2, reference.size() - (hexadecimal ? 4 : 3));

        if (digits.empty())
            return tooLarge;

        std::uint32_t value = 0;

        for (const auto c : digits)
        {
            const std::uint32_t digit = isDigit (c) ? (std::uint32_t) (c - '0')
                                                    : (std::uint32_t) ((c | 0x20) - 'a' + 10);
            value = value * (hexadecimal ? 16u : 10u) + digit;

            if (value >= tooLarge)
                return tooLarge;
        }

        return value;
    }

    std::string lowerCase (std::string text)
    {
        for (auto& c : text)
            if (c >= 'A' && c <= 'Z')
                c = (char) (c - 'A' + 'a');

        return text;
    }

    /** The encoding named in an XML declaration's text ("xml version=... encoding=..."), or "". */
    std::string declaredEncoding (const std::string& declaration)
    {
        const auto name = declaration.find ("encoding");

        if (name == std::string::npos)
            return {};

        auto position = declaration.find_first_not_of (" \t\r\n", name + 8);

        if (position == std::string::npos || declaration[position] != '=')
            return {};

        position = declaration.find_first_not_of (" \t\r\n", position + 1);

        if (position == std::string::npos || (declaration[position] != '"' && declaration[position] != '\''))
            return {};

        const auto end = declaration.find (declaration[position], position + 1);
        return end == std::string::npos ? std::string() : declaration.substr (position + 1, end - position - 1);
    }
}

ReferenceFilter::ReferenceFilter (Encoding encodingToUse)
    : encoding (encodingToUse)
{
}

bool ReferenceFilter::rawBytesAreUtf8() const noexcept
{
    return encoding == Encoding::utf8 || declaredUtf8;
}

void ReferenceFilter::feed (std::string_view piece, std::string& out)
{
    out.reserve (out.size() + piece.size() + piece.size() / 8);

    for (const auto byte : piece)
        take (byte, out);
}

void ReferenceFilter::finish (std::string& out)
{
    out += held;
    held.clear();
    holdingReference = false;
}

void ReferenceFilter::take (char byte, std::string& out)
{
    if (state == State::untouched)
        out += byte;
    else if (holdingReference)
        takeReferenceByte (byte, out);
    else if (! held.empty())
        takeStandInByte (byte, out);
    else
        takeInState (byte, out);
}

void ReferenceFilter::takeInState (char byte, std::string& out)
{
    const auto unsignedByte = (unsigned char) byte;

    const auto beginReference = [&]
    {
        returnState = state;
        held = "&";
        holdingReference = true;
    };

    const auto beginStandIn = [&]
    {
        returnState = state;
        held.assign (1, byte);
    };

    switch (state)
    {
        case State::start:
            // UTF-16 (with or without a byte-order mark) is passed on as it is.
            if (unsignedByte == 0 || unsignedByte == 0xfe || unsignedByte == 0xff)
            {
                state = State::untouched;
                out += byte;
                return;
            }

            state = State::text;
            takeInState (byte, out);
            return;

        case State::text:
            if (byte == '<')
                state = State::markup;
            else if (byte == '&')
                return beginReference();
            else if (unsignedByte == standInLead[0] && rawBytesAreUtf8())
                return beginStandIn();

            break;

        case State::markup:
            if (byte == 0)
            {
                state = State::untouched;   // "<" then a zero byte: UTF-16LE without a byte-order mark
            }
            else if (byte == '!')
            {
                state = State::bang;
                bangText.clear();
            }
            else if (byte == '?')
            {
                state = State::instruction;
                run = 0;
            }
            else
            {
                state = byte == '>' ? State::text : State::tag;
            }

            // Only the very first markup may be the XML declaration.
            if (state != State::instruction)
                declarationDone = true;

            break;

        case State::bang:
            bangText += byte;

            if (bangText == "--")
            {
                state = State::comment;
                run = 0;
            }
            else if (bangText == "[CDATA[")
            {
                state = State::cdata;
                run = 0;
            }
            else if (std::string_view ("--").substr (0, bangText.size()) != bangText
                     && std::string_view ("[CDATA[").substr (0, bangText.size()) != bangText)
            {
                state = State::untouched;   // a document type declaration: the parser refuses it
            }

            break;

        case State::tag:
            if (byte == '"' || byte == '\'')
            {
                state = State::attribute;
                quote = byte;
            }
            else if (byte == '>')
            {
                state = State::text;
            }

            break;

        case State::attribute:
            if (byte == quote)
                state = State::tag;
            else if (byte == '&')
                return beginReference();
            else if (unsignedByte == standInLead[0] && rawBytesAreUtf8())
                return beginStandIn();

            break;

        case State::comment:
            endsAfterTwo ('-', byte);
            break;

        case State::cdata:
            if (unsignedByte == standInLead[0] && rawBytesAreUtf8())
            {
                run = 0;
                return beginStandIn();
            }

            endsAfterTwo (']', byte);
            break;

        case State::instruction:
            noteDeclaration (byte);

            if (byte == '>' && run > 0)
                state = State::text;

            run = byte == '?' ? 1 : 0;
            break;

        case State::untouched:
            break;
    }

    out += byte;
}

void ReferenceFilter::endsAfterTwo (char closer, char byte)
{
    if (byte == closer)
    {
        ++run;
        return;
    }

    // "-->" ends a comment, "]]>" a CDATA section, however many came before the ">".
    if (byte == '>' && run >= 2)
        state = State::text;

    run = 0;
}

void ReferenceFilter::noteDeclaration (char byte)
{
    if (declarationDone)
        return;

    constexpr std::size_t longestDeclaration = 256;

    if (byte == '>' && ! declaration.empty() && declaration.back() == '?')
    {
        declarationDone = true;

        if (declaration.compare (0, 3, "xml") == 0 && declaration.size() > 3
            && (declaration[3] == ' ' || declaration[3] == '\t' || declaration[3] == '\r' || declaration[3] == '\n'))
        {
            const auto name = lowerCase (declaredEncoding (declaration));
            declaredUtf8 = name.empty() || name == "utf-8" || name == "utf8";
        }

        return;
    }

    declaration += byte;

    // Not a declaration anyone writes: the document is read as UTF-8.
    if (declaration.size() > longestDeclaration)
        declarationDone = true;
}

void ReferenceFilter::takeReferenceByte (char byte, std::string& out)
{
    const auto giveUp = [&]
    {
        out += held;
        held.clear();
        holdingReference = false;
        takeInState (byte, out);
    };

    if (held.size() == 1)
    {
        if (byte != '#')
            return giveUp();   // an entity reference: the parser's to read

        held += byte;
        return;
    }

    const bool hexadecimal = held.size() > 2 && held[2] == 'x';

    if (held.size() == 2 && byte == 'x')
    {
        held += byte;
        return;
    }

    if (byte == ';')
    {
        held += byte;
        return endReference (out);
    }

    if ((hexadecimal ? isHexDigit (byte) : isDigit (byte)) && held.size() < longestReference)
    {
        held += byte;
        return;
    }

    giveUp();
}

void ReferenceFilter::endReference (std::string& out)
{
    const auto value = referenceValue (held);

    if (const auto index = standInIndexOf (value); index != 0)
        out += standInReference (index);
    else if (value >= standInBase && value < standInBase + standInCount)
        out.append (markerReference).append (held);
    else
        out += held;

    held.clear();
    holdingReference = false;
}

void ReferenceFilter::takeStandInByte (char byte, std::string& out)
{
    const auto unsignedByte = (unsigned char) byte;
    const auto position = held.size();

    if (position < 3 ? unsignedByte == standInLead[position] : isStandInTail (unsignedByte))
    {
        held += byte;

        if (held.size() < 4)
            return;

        // A character of the stand-ins' range that the document holds for
        // itself: the marker in front keeps restore() from translating it.
        if (returnState == State::cdata)
            out.append ("]]>").append (markerReference).append ("<![CDATA[");
        else
            out.append (markerReference);

        out += held;
        held.clear();
        return;
    }

    out += held;
    held.clear();
    takeInState (byte, out);
}

//==============================================================================
bool mayHoldStandIns (std::string_view value) noexcept
{
    return value.find (std::string_view (reinterpret_cast<const char*> (standInLead), 3)) != std::string_view::npos;
}

void restore (std::string& value)
{
    if (! mayHoldStandIns (value))
        return;

    std::string restored;
    restored.reserve (value.size());

    for (std::size_t position = 0; position < value.size();)
    {
        if (! isStandInAt (value, position))
        {
            restored += value[position++];
            continue;
        }

        const auto index = (std::uint32_t) ((unsigned char) value[position + 3] - 0x80);

        if (index == 0 && isStandInAt (value, position + 4))
        {
            restored.append (value, position + 4, 4);   // the document's own character
            position += 8;
        }
        else if (index == 0x3e || index == 0x3f)
        {
            restored += index == 0x3e ? "\xef\xbf\xbe" : "\xef\xbf\xbf";
            position += 4;
        }
        else if (standInIndexOf (index) == index && index != 0)
        {
            restored += (char) index;
            position += 4;
        }
        else
        {
            restored.append (value, position, 4);   // not one the filter writes
            position += 4;
        }
    }

    value.swap (restored);
}
}
