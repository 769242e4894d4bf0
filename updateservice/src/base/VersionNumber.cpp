#include "base/VersionNumber.h"

namespace
{
    bool isDigit (char c) noexcept
    {
        return c >= '0' && c <= '9';
    }

    struct DecimalParts
    {
        std::string_view integer;
        std::string_view fraction;
    };

    // Leading zeros of the integer part and trailing zeros of the fraction
    // carry no value, so they are cut off before comparing.
    DecimalParts split (std::string_view cleaned)
    {
        const auto dot = cleaned.find ('.');
        auto integer = cleaned.substr (0, dot);
        auto fraction = dot == std::string_view::npos ? std::string_view {}
                                                      : cleaned.substr (dot + 1);

        while (! integer.empty() && integer.front() == '0')
            integer.remove_prefix (1);

        while (! fraction.empty() && fraction.back() == '0')
            fraction.remove_suffix (1);

        return { integer, fraction };
    }
}

std::string VersionNumber::clean (std::string_view text)
{
    std::string withDots (text);

    for (auto& c : withDots)
        if (c == ',')
            c = '.';

    const auto firstDot = withDots.find ('.');
    const auto headEnd = firstDot == std::string::npos ? withDots.size() : firstDot + 1;

    std::string result;
    result.reserve (withDots.size());

    for (std::size_t i = 0; i < headEnd; ++i)
        if (isDigit (withDots[i]) || withDots[i] == '.')
            result += withDots[i];

    for (std::size_t i = headEnd; i < withDots.size(); ++i)
        if (isDigit (withDots[i]))
            result += withDots[i];

    return result;
}

bool VersionNumber::isUsable (std::string_view cleaned)
{
    return ! cleaned.empty();
}

int VersionNumber::compare (std::string_view a, std::string_view b)
{
    const auto left = split (a);
    const auto right = split (b);

    if (left.integer.size() != right.integer.size())
        return left.integer.size() < right.integer.size() ? -1 : 1;

    if (const auto c = left.integer.compare (right.integer); c != 0)
        return c < 0 ? -1 : 1;

    // With trailing zeros gone, a plain character comparison orders the
    // fractions: a shorter fraction that is a prefix of the longer one is
    // the smaller number ("0.5" < "0.51").
    if (const auto c = left.fraction.compare (right.fraction); c != 0)
        return c < 0 ? -1 : 1;

    return 0;
}
