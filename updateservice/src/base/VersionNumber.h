#pragma once

#include <string>
#include <string_view>

/**
    Version texts as the application sends them: one decimal-looking number
    such as "1.23", made from whatever the plug-in declared ("1.2.3",
    "2, 0, 1, 5", "ver 3.0 build 17").

    Every function is pure and may be called from any thread.
*/
class VersionNumber
{
public:
    /** Turns a version text into the application's decimal form: commas
        become dots, the part up to and including the first dot keeps only
        digits and dots, the part after it keeps only digits.
        "1.2.3" gives "1.23"; "2, 0, 1, 5" gives "2.015"; "12" stays "12". */
    static std::string clean (std::string_view text);

    /** True when a cleaned version can be compared at all: it holds at
        least one digit or a dot ("." reads as 0). An empty text is not
        a version. */
    static bool isUsable (std::string_view cleaned);

    /** Compares two cleaned versions as exact decimal numbers, without
        floating point: "4.10" equals "4.1", "10.0" is above "9.99", and
        "." equals "0". Returns a negative number, zero or a positive
        number like strcmp. Both arguments must be cleaned. */
    static int compare (std::string_view a, std::string_view b);
};
