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
