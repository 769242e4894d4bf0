#pragma once

#include "base/EmailAddress.h"

#include <string>
#include <string_view>
#include <vector>

/**
    The rules an account's details must meet. The application checks the
    same rules before it sends anything, but the service cannot rely on
    that: any client can post to it.

    Pure; may be called from any thread. Each check returns the problems it
    found as sentences, in a fixed order; an empty list means the entry is
    acceptable.
*/
class EntryRules
{
public:
    /** Longest accepted e-mail address, name and password, in bytes. */
    static constexpr std::size_t maxEmailBytes = EmailAddress::maxBytes;
    static constexpr std::size_t maxNameBytes = 200;
    static constexpr std::size_t maxPasswordBytes = 1024;

    /** The 32 printable ASCII characters that count as symbols. */
    static constexpr std::string_view symbols = "!@#$%^&*()-_=+[]{};:'\"\\|/?.,<>`~";

    /** One mailbox, as EmailAddress::check() tells. */
    static std::vector<std::string> checkEmail (std::string_view email);

    /** At least 8 code points, with an ASCII digit, a symbol, an upper-case
        and a lower-case ASCII letter; valid UTF-8; not too long. */
    static std::vector<std::string> checkPassword (std::string_view password);

    /** Not empty; valid UTF-8 without control characters; not too long. */
    static std::vector<std::string> checkName (std::string_view name, std::string_view label);

    /** "0" or "1". */
    static std::vector<std::string> checkDeveloperFlag (std::string_view flag);

    /** Joins problems into one text, one per line. */
    static std::string join (const std::vector<std::string>& problems);
};
