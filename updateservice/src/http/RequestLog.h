#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

/**
    The service's request log: one line for every request it answers, in a
    fixed key=value form that tools can split on spaces,

        time=2026-12-09T15:40:01.123Z method=POST path=/scan/index.php status=200 bytes=1234 ms=87 client=127.0.0.1

    Values never hold a space, a quote, a backslash, a control character or
    a byte outside printable ASCII: each such byte is written as \xHH, so
    that no request can end the line early or add a field of its own.
    Unknown values are "-". The path is logged without its query, which may
    carry secrets (the /confirm link's token); bodies are never logged.
*/
namespace front
{
    struct RequestRecord
    {
        std::chrono::system_clock::time_point finished;
        std::string method;                   ///< empty: the request line was never read
        std::string path;                     ///< as received; anything from '?' on is left out
        int status = 0;                       ///< 0: no reply was sent
        std::size_t bytes = 0;                ///< of the reply, headers included, as sent
        std::chrono::milliseconds elapsed {}; ///< from accepting the connection to the end of the reply
        std::string client;                   ///< the address the request counts as coming from
    };

    /** The line for a request, without a line break. */
    std::string requestLogLine (const RequestRecord& record);

    /** A value as the log writes it: printable ASCII as it is, other
        bytes (and space, '"' and '\') as \xHH, an empty value as "-". */
    std::string logValue (std::string_view value);

    /** UTC with milliseconds: 2026-12-09T15:40:01.123Z */
    std::string utcTimestamp (std::chrono::system_clock::time_point time);
}
