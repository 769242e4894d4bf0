#include "http/Common.h"

#include <iostream>
#include <mutex>

namespace front
{
    namespace
    {
        std::mutex logLock;
    }

    void logLine (const std::string& line)
    {
        const std::lock_guard<std::mutex> guard (logLock);
        std::cerr << line << std::endl;
    }

    Outcome serviceError()
    {
        return Outcome::errors ("Service Error",
                                "The service could not complete the request. Please try again later.");
    }

    std::string asciiLower (std::string text)
    {
        for (auto& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char> (c - 'A' + 'a');

        return text;
    }

    std::string trimmed (const std::string& text)
    {
        const auto first = text.find_first_not_of (" \t");
        const auto last = text.find_last_not_of (" \t");
        return first == std::string::npos ? std::string {} : text.substr (first, last - first + 1);
    }

    std::string mediaType (const std::string& contentType)
    {
        return asciiLower (trimmed (contentType.substr (0, contentType.find (';'))));
    }
}
