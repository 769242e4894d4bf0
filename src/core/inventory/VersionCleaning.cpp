#include "core/inventory/VersionCleaning.h"

juce::String cleanVersion (const juce::String& version)
{
    const auto text = version.replaceCharacter (',', '.');
    const auto firstDot = text.indexOfChar ('.');

    if (firstDot < 0)
        return text.retainCharacters ("0123456789");

    return text.substring (0, firstDot + 1).retainCharacters ("0123456789.")
         + text.substring (firstDot + 1).retainCharacters ("0123456789");
}

namespace
{
    struct DecimalParts
    {
        juce::String whole, fraction;
    };

    // Leading zeros of the whole part and trailing zeros of the fraction carry no value.
    DecimalParts split (const juce::String& cleaned)
    {
        const auto dot = cleaned.indexOfChar ('.');
        auto whole = dot < 0 ? cleaned : cleaned.substring (0, dot);
        auto fraction = dot < 0 ? juce::String() : cleaned.substring (dot + 1);

        // Not cleaned after all: only the digits count.
        whole = whole.retainCharacters ("0123456789").trimCharactersAtStart ("0");
        fraction = fraction.retainCharacters ("0123456789").trimCharactersAtEnd ("0");
        return { whole, fraction };
    }

    int sign (int value)   { return (value > 0) - (value < 0); }
}

int compareCleanedVersions (const juce::String& first, const juce::String& second)
{
    const auto a = split (first);
    const auto b = split (second);

    if (a.whole.length() != b.whole.length())
        return a.whole.length() < b.whole.length() ? -1 : 1;

    // Digits only, so comparing the characters compares the numbers.
    if (const auto c = a.whole.compare (b.whole); c != 0)
        return sign (c);

    return sign (a.fraction.compare (b.fraction));
}
