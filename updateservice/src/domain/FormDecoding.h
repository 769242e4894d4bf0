#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/**
    The fields of an application/x-www-form-urlencoded body, in the order
    they were sent. The application escapes every byte outside
    [A-Za-z0-9_-.*!'()] as %xx in lower case; other clients use upper case
    and "+" for a space, so both are accepted.

    Pure; may be used from any thread. Values are raw bytes after decoding:
    callers check UTF-8 where it matters.
*/
class FormDecoding
{
public:
    using Field = std::pair<std::string, std::string>;

    /** Splits and decodes a body. A pair without "=" is a name with an
        empty value; empty pairs ("a=1&&b=2") are skipped; a "%" that is not
        followed by two hex digits is kept as it is. */
    static FormDecoding parse (std::string_view body);

    /** Decodes %xx escapes and "+" of one name or value. */
    static std::string decodeComponent (std::string_view text);

    /** The value of the first field with exactly this name, if any. */
    std::optional<std::string> get (std::string_view name) const;

    /** The value of the first field with this name, or an empty text. */
    std::string valueOf (std::string_view name) const;

    /** The first field's name, or an empty text when there are no fields. */
    std::string firstName() const;

    const std::vector<Field>& fields() const noexcept { return allFields; }

private:
    std::vector<Field> allFields;
};
