#pragma once

#include "core/platform/Clock.h"

#include <juce_core/juce_core.h>

#include <functional>

/** Two-letter locale codes: ISO 639 languages and an ISO 3166 region. */
struct LocaleCodes
{
    juce::String displayLanguage = "en";
    juce::String userLanguage = "en";
    juce::String region = "US";

    /** Reads the POSIX locale variables: LANGUAGE, LC_ALL, LC_MESSAGES and LANG
        for the display language; LC_ALL and LANG for the user's language and
        region. The first variable that is set decides; a value that names no
        two-letter code ("C", "POSIX", "fil_PH") keeps the fallback "en"/"US".
    */
    static LocaleCodes fromEnvironment (const std::function<juce::String (const char*)>& getVariable);
    static LocaleCodes fromEnvironment();
};

/** The facts about this computer that every inventory carries. */
struct MachineFacts
{
    juce::String platformString, cpuVendor;
    int cpuSpeedMHz = 0;
    bool is64BitOperatingSystem = false;
    int ramMegabytes = 0;
    bool hasSSE = false, hasSSE2 = false, hasMMX = false, has3DNow = false;
    LocaleCodes locale;
    juce::Time time;

    /** Asks the system now, and the clock for the time. Any thread. */
    static MachineFacts gather (const Clock& clock);
};

/** The "MachineProfile" element that heads an inventory, its fifteen
    attributes in their fixed order: numbers in decimal, flags as "1"/"0",
    Platform always "Win", Time like "7 Dec 2026 9:37:08am" in local time.
*/
std::unique_ptr<juce::XmlElement> makeMachineProfile (const juce::String& machineName, const MachineFacts& facts);
