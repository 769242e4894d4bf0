#include "core/inventory/MachineProfile.h"

#include <cstdlib>

namespace
{
    bool isTwoAsciiLetters (const juce::String& s)
    {
        return s.length() == 2 && juce::CharacterFunctions::isLetter (s[0]) && juce::CharacterFunctions::isLetter (s[1])
               && s[0] < 128 && s[1] < 128;
    }

    /** The language and region of a locale name such as "de_DE.UTF-8@euro". */
    std::pair<juce::String, juce::String> splitLocaleName (const juce::String& name)
    {
        const auto base = name.upToFirstOccurrenceOf (".", false, false).upToFirstOccurrenceOf ("@", false, false);
        const auto language = base.upToFirstOccurrenceOf ("_", false, false);
        const auto region = base.fromFirstOccurrenceOf ("_", false, false);
        return { isTwoAsciiLetters (language) ? language.toLowerCase() : juce::String(),
                 isTwoAsciiLetters (region) ? region.toUpperCase() : juce::String() };
    }

    /** The value of the first variable that is set, or "". */
    juce::String firstSet (const std::function<juce::String (const char*)>& getVariable,
                           std::initializer_list<const char*> names)
    {
        for (auto* name : names)
            if (auto value = getVariable (name); value.isNotEmpty())
                return value;

        return {};
    }
}

LocaleCodes LocaleCodes::fromEnvironment (const std::function<juce::String (const char*)>& getVariable)
{
    LocaleCodes codes;

    // GNU's LANGUAGE is a colon-separated list of preferences for messages.
    const auto display = firstSet (getVariable, { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" })
                             .upToFirstOccurrenceOf (":", false, false);

    if (const auto language = splitLocaleName (display).first; language.isNotEmpty())
        codes.displayLanguage = language;

    const auto [language, region] = splitLocaleName (firstSet (getVariable, { "LC_ALL", "LANG" }));

    if (language.isNotEmpty())
        codes.userLanguage = language;

    if (region.isNotEmpty())
        codes.region = region;

    return codes;
}

LocaleCodes LocaleCodes::fromEnvironment()
{
    return fromEnvironment ([] (const char* name) { return juce::String::fromUTF8 (std::getenv (name)); });
}

MachineFacts MachineFacts::gather (const Clock& clock)
{
    MachineFacts facts;
    facts.platformString = juce::SystemStats::getOperatingSystemName();
    facts.cpuVendor = juce::SystemStats::getCpuVendor();
    facts.cpuSpeedMHz = juce::SystemStats::getCpuSpeedInMegahertz();
    facts.is64BitOperatingSystem = juce::SystemStats::isOperatingSystem64Bit();
    facts.ramMegabytes = juce::SystemStats::getMemorySizeInMegabytes();
    facts.hasSSE = juce::SystemStats::hasSSE();
    facts.hasSSE2 = juce::SystemStats::hasSSE2();
    facts.hasMMX = juce::SystemStats::hasMMX();
    facts.has3DNow = juce::SystemStats::has3DNow();
   #if JUCE_WINDOWS
    // Windows answers with codes already; the display language is a tag such as "en-US".
    facts.locale.displayLanguage = juce::SystemStats::getDisplayLanguage().upToFirstOccurrenceOf ("-", false, false);
    facts.locale.userLanguage = juce::SystemStats::getUserLanguage();
    facts.locale.region = juce::SystemStats::getUserRegion();
   #else
    facts.locale = LocaleCodes::fromEnvironment();
   #endif
    facts.time = clock.now();
    return facts;
}

std::unique_ptr<juce::XmlElement> makeMachineProfile (const juce::String& machineName, const MachineFacts& facts)
{
    auto profile = std::make_unique<juce::XmlElement> ("MachineProfile");
    profile->setAttribute ("MachineName", machineName);
    profile->setAttribute ("Platform", "Win");
    profile->setAttribute ("PlatformString", facts.platformString);
    profile->setAttribute ("CPUVendor", facts.cpuVendor);
    profile->setAttribute ("CPUSpeed", facts.cpuSpeedMHz);
    profile->setAttribute ("Supports64Bit", facts.is64BitOperatingSystem ? 1 : 0);
    profile->setAttribute ("RAM", facts.ramMegabytes);
    profile->setAttribute ("HasSSE1", facts.hasSSE ? 1 : 0);
    profile->setAttribute ("HasSSE2", facts.hasSSE2 ? 1 : 0);
    profile->setAttribute ("HasMMX", facts.hasMMX ? 1 : 0);
    profile->setAttribute ("Has3DNow", facts.has3DNow ? 1 : 0);
    profile->setAttribute ("DisplayLanguage", facts.locale.displayLanguage);
    profile->setAttribute ("UserLanguage", facts.locale.userLanguage);
    profile->setAttribute ("Region", facts.locale.region);
    profile->setAttribute ("Time", facts.time.toString (true, true, true, false));
    return profile;
}
