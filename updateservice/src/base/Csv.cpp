#include "base/Csv.h"

namespace
{
    std::string lineMessage (std::size_t line, const std::string& what)
    {
        return "line " + std::to_string (line) + ": " + what;
    }

    bool isEmptyRecord (const Csv::Record& record)
    {
        return record.size() == 1 && record.front().empty();
    }
}

Csv::Result Csv::parse (std::string_view text, std::size_t maxFieldBytes)
{
    Result result;

    if (text.substr (0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix (3);

    Record record;
    std::string field;
    std::size_t line = 1;
    std::size_t pos = 0;
    bool fieldWasQuoted = false;

    const auto fail = [&result] (std::size_t where, const std::string& what)
    {
        result.ok = false;
        result.records.clear();
        result.error = lineMessage (where, what);
        return result;
    };

    const auto endRecord = [&]
    {
        record.push_back (std::move (field));
        field.clear();
        fieldWasQuoted = false;

        if (! isEmptyRecord (record))
            result.records.push_back (std::move (record));

        record.clear();
    };

    while (pos < text.size())
    {
        const auto c = text[pos];

        if (c == '"' && field.empty() && ! fieldWasQuoted)
        {
            // A quoted field runs to the next quote that is not doubled.
            fieldWasQuoted = true;
            const auto openedOn = line;
            ++pos;

            for (;;)
            {
                if (pos >= text.size())
                    return fail (openedOn, "a quoted field is not closed");

                const auto q = text[pos];

                if (q == '"')
                {
                    if (pos + 1 < text.size() && text[pos + 1] == '"')
                    {
                        field += '"';
                        pos += 2;
                        continue;
                    }

                    ++pos;
                    break;
                }

                if (q == '\n')
                    ++line;

                field += q;
                ++pos;

                if (field.size() > maxFieldBytes)
                    return fail (openedOn, "a field is longer than " + std::to_string (maxFieldBytes) + " bytes");
            }

            if (pos < text.size() && text[pos] != ',' && text[pos] != '\n' && text[pos] != '\r')
                return fail (line, "unexpected text after a closing quote");

            continue;
        }

        if (c == ',')
        {
            record.push_back (std::move (field));
            field.clear();
            fieldWasQuoted = false;
            ++pos;
            continue;
        }

        if (c == '\r' || c == '\n')
        {
            if (c == '\r')
            {
                if (pos + 1 >= text.size() || text[pos + 1] != '\n')
                    return fail (line, "a carriage return outside quotes must be followed by a line feed");

                ++pos;
            }

            ++pos;
            endRecord();
            ++line;
            continue;
        }

        if (fieldWasQuoted)
            return fail (line, "unexpected text after a closing quote");

        if (c == '"')
            return fail (line, "a quote inside an unquoted field (quote the field and double the quote)");

        field += c;
        ++pos;

        if (field.size() > maxFieldBytes)
            return fail (line, "a field is longer than " + std::to_string (maxFieldBytes) + " bytes");
    }

    if (! field.empty() || fieldWasQuoted || ! record.empty())
        endRecord();

    result.ok = true;
    return result;
}
