#include "domain/FormDecoding.h"

namespace
{
    int hexValue (char c) noexcept
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
}

std::string FormDecoding::decodeComponent (std::string_view text)
{
    std::string result;
    result.reserve (text.size());

    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto c = text[i];

        if (c == '+')
        {
            result += ' ';
        }
        else if (c == '%' && i + 2 < text.size()
                 && hexValue (text[i + 1]) >= 0 && hexValue (text[i + 2]) >= 0)
        {
            result += static_cast<char> (hexValue (text[i + 1]) * 16 + hexValue (text[i + 2]));
            i += 2;
        }
        else
        {
            result += c;
        }
    }

    return result;
}

FormDecoding FormDecoding::parse (std::string_view body)
{
    FormDecoding form;
    std::size_t start = 0;

    while (start <= body.size())
    {
        auto end = body.find ('&', start);

        if (end == std::string_view::npos)
            end = body.size();

        const auto pair = body.substr (start, end - start);

        if (! pair.empty())
        {
            const auto equals = pair.find ('=');

            if (equals == std::string_view::npos)
                form.allFields.emplace_back (decodeComponent (pair), std::string {});
            else
                form.allFields.emplace_back (decodeComponent (pair.substr (0, equals)),
                                             decodeComponent (pair.substr (equals + 1)));
        }

        start = end + 1;
    }

    return form;
}

std::optional<std::string> FormDecoding::get (std::string_view name) const
{
    for (const auto& field : allFields)
        if (field.first == name)
            return field.second;

    return std::nullopt;
}

std::string FormDecoding::valueOf (std::string_view name) const
{
    return get (name).value_or (std::string {});
}

std::string FormDecoding::firstName() const
{
    return allFields.empty() ? std::string {} : allFields.front().first;
}
