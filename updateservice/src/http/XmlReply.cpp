#include "http/XmlReply.h"

#include "base/Utf8.h"

#include <cstdint>

namespace
{
    constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

    bool isAllowedInXml (char32_t c) noexcept
    {
        return c == 0x9 || c == 0xa || c == 0xd
            || (c >= 0x20 && c <= 0xd7ff)
            || (c >= 0xe000 && c <= 0xfffd)
            || (c >= 0x10000 && c <= 0x10ffff);
    }

    /** Characters XML 1.0 has no room for but the application's files carry
        as references (as XML 1.1 would), and its reader reads back. */
    bool isWrittenAsReference (char32_t c) noexcept
    {
        return (c >= 0x1 && c < 0x20) || c == 0xfffe || c == 0xffff;
    }
}

XmlReply::XmlReply (std::string tagName)
    : tag (std::move (tagName))
{
}

XmlReply& XmlReply::set (std::string name, std::string value)
{
    attributes.emplace_back (std::move (name), std::move (value));
    return *this;
}

XmlReply& XmlReply::addChild (std::string tagName)
{
    children.emplace_back (std::move (tagName));
    return children.back();
}

std::string XmlReply::escapeAttribute (std::string_view value)
{
    std::string out;
    out.reserve (value.size() + 16);
    std::size_t pos = 0;

    while (pos < value.size())
    {
        const auto start = pos;
        char32_t c = 0;

        if (! Utf8::decode (value, pos, c))
        {
            out += replacementCharacter;
            continue;
        }

        if (! isAllowedInXml (c))
        {
            if (isWrittenAsReference (c))
                out += "&#" + std::to_string (static_cast<std::uint32_t> (c)) + ";";
            else
                out += replacementCharacter;

            continue;
        }

        switch (c)
        {
            case '&':  out += "&amp;"; break;
            case '<':  out += "&lt;"; break;
            case '>':  out += "&gt;"; break;
            case '"':  out += "&quot;"; break;
            // Raw white space in an attribute would be normalised to a space
            // by the reader, so it is written as a reference.
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default:   out.append (value.substr (start, pos - start)); break;
        }
    }

    return out;
}

void XmlReply::appendTo (std::string& out, int depth) const
{
    out.append (static_cast<std::size_t> (depth) * 2, ' ');
    out += '<';
    out += tag;

    for (const auto& [name, value] : attributes)
    {
        out += ' ';
        out += name;
        out += "=\"";
        out += escapeAttribute (value);
        out += '"';
    }

    if (children.empty())
    {
        out += "/>\r\n";
        return;
    }

    out += ">\r\n";

    for (const auto& child : children)
        child.appendTo (out, depth + 1);

    out.append (static_cast<std::size_t> (depth) * 2, ' ');
    out += "</";
    out += tag;
    out += ">\r\n";
}

std::string XmlReply::toString() const
{
    std::string out;
    appendTo (out, 0);
    return out;
}

std::string XmlReply::toDocument() const
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + toString();
}
