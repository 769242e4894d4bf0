#pragma once

#include "domain/Outcome.h"

#include <cstddef>
#include <string>

/**
    What the routes of the server and its connection gate share: the scan
    path and its body allowance, the reply type, the log, and the header
    text helpers.
*/
namespace front
{
    constexpr const char* scanPath = "/scan/index.php";

    constexpr const char* xmlType = "text/xml; charset=UTF-8";

    // Multipart framing (boundaries, part headers, the two form fields)
    // adds a little to the inventory file itself; the log-in parts are
    // looked for within it.
    constexpr std::size_t multipartAllowance = 64u * 1024u;

    /** Writes one line to the standard error, whole, from any thread. */
    void logLine (const std::string& line);

    /** The reply to a request the service failed to complete. */
    Outcome serviceError();

    std::string asciiLower (std::string text);

    /** Without leading and trailing spaces and tabs. */
    std::string trimmed (const std::string& text);

    /** The media type of a Content-Type value, without parameters, in lower case. */
    std::string mediaType (const std::string& contentType);
}
