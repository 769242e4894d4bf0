#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/**
    A reader for comma-separated values as RFC 4180 describes them: fields
    may be quoted, "" inside quotes is one quote, and quoted fields may hold
    commas and line breaks. Records end with CR LF or LF. A UTF-8
    byte-order mark at the start is skipped.

    Pure; may be used from any thread.
*/
class Csv
{
public:
    using Record = std::vector<std::string>;

    struct Result
    {
        bool ok = false;
        std::vector<Record> records;
        std::string error;   ///< what is wrong and on which line, when !ok
    };

    /** Parses the whole text. Empty lines are skipped. Anything the format
        does not allow (a quote inside an unquoted field, text after a
        closing quote, a quote left open at the end, a field longer than
        maxFieldBytes) makes the result fail with a message naming the line;
        no records are returned then. */
    static Result parse (std::string_view text, std::size_t maxFieldBytes = 64 * 1024);
};
