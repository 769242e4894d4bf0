#include "core/inventory/MachineProfile.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
    MachineFacts studioFacts (juce::Time time)
    {
        MachineFacts facts;
        facts.platformString = "Windows 7";
        facts.cpuVendor = "GenuineIntel";
        facts.cpuSpeedMHz = 2394;
        facts.is64BitOperatingSystem = true;
        facts.ramMegabytes = 8192;
        facts.hasSSE = true;
        facts.hasSSE2 = true;
        facts.hasMMX = true;
        facts.has3DNow = false;
        facts.locale = { "de", "en", "GB" };
        facts.time = time;
        return facts;
    }

    juce::Time localTime (int hours, int minutes, int seconds)
    {
        return juce::Time (2027, 2, 1, hours, minutes, seconds, 0, true);   // 1 March 2027
    }
}

TEST (MachineProfile, HasItsFifteenAttributesInOrderWithFlagsAsDigits)
{
    const auto profile = makeMachineProfile ("Studio-PC", studioFacts (localTime (13, 0, 0)));

    const std::vector<std::pair<const char*, const char*>> expected {
        { "MachineName", "Studio-PC" }, { "Platform", "Win" }, { "PlatformString", "Windows 7" },
        { "CPUVendor", "GenuineIntel" }, { "CPUSpeed", "2394" }, { "Supports64Bit", "1" }, { "RAM", "8192" },
        { "HasSSE1", "1" }, { "HasSSE2", "1" }, { "HasMMX", "1" }, { "Has3DNow", "0" },
        { "DisplayLanguage", "de" }, { "UserLanguage", "en" }, { "Region", "GB" },
        { "Time", "1 Mar 2027 1:00:00pm" } };

    EXPECT_EQ (profile->getTagName(), juce::String ("MachineProfile"));
    ASSERT_EQ (profile->getNumAttributes(), (int) expected.size());

    for (int i = 0; i < (int) expected.size(); ++i)
    {
        EXPECT_EQ (profile->getAttributeName (i), juce::String (expected[(size_t) i].first));
        EXPECT_EQ (profile->getAttributeValue (i), juce::String (expected[(size_t) i].second)) << expected[(size_t) i].first;
    }
}

TEST (MachineProfile, TimeUsesTheTwelveHourClockWithoutLeadingZeros)
{
    EXPECT_EQ (makeMachineProfile ({}, studioFacts (localTime (0, 5, 9)))->getStringAttribute ("Time"),
               juce::String ("1 Mar 2027 12:05:09am"));
    EXPECT_EQ (makeMachineProfile ({}, studioFacts (localTime (12, 0, 0)))->getStringAttribute ("Time"),
               juce::String ("1 Mar 2027 12:00:00pm"));
    EXPECT_EQ (makeMachineProfile ({}, studioFacts (localTime (23, 59, 59)))->getStringAttribute ("Time"),
               juce::String ("1 Mar 2027 11:59:59pm"));
}

TEST (MachineProfile, GatheredFactsComeFromThisMachineAndTheClock)
{
    TestClock clock;
    clock.time = localTime (0, 5, 9);
    const auto profile = makeMachineProfile ("", MachineFacts::gather (clock));

    EXPECT_EQ (profile->getStringAttribute ("MachineName"), juce::String());
    EXPECT_EQ (profile->getStringAttribute ("Platform"), juce::String ("Win"));
    EXPECT_EQ (profile->getStringAttribute ("Time"), juce::String ("1 Mar 2027 12:05:09am"));
    EXPECT_GT (profile->getIntAttribute ("RAM"), 0);

    for (auto* flag : { "Supports64Bit", "HasSSE1", "HasSSE2", "HasMMX", "Has3DNow" })
    {
        const auto value = profile->getStringAttribute (flag);
        EXPECT_TRUE (value == "1" || value == "0") << flag << " = " << value;
    }

    for (auto* code : { "DisplayLanguage", "UserLanguage", "Region" })
        EXPECT_EQ (profile->getStringAttribute (code).length(), 2) << code;
}

//==============================================================================
namespace
{
    struct LocaleCase
    {
        std::map<std::string, const char*> environment;
        const char* displayLanguage;
        const char* userLanguage;
        const char* region;
    };

    class LocaleCodeCases : public ::testing::TestWithParam<LocaleCase> {};

    const LocaleCase localeCases[] = {
        { {},                                                        "en", "en", "US" },
        { { { "LANG", "de_DE.UTF-8" } },                             "de", "de", "DE" },
        { { { "LANG", "C" } },                                       "en", "en", "US" },
        { { { "LANG", "C.UTF-8" } },                                 "en", "en", "US" },
        { { { "LANG", "POSIX" } },                                   "en", "en", "US" },
        { { { "LC_ALL", "fr_CA.UTF-8" }, { "LANG", "de_DE" } },      "fr", "fr", "CA" },
        { { { "LC_MESSAGES", "ja_JP.UTF-8" }, { "LANG", "en_GB.UTF-8" } }, "ja", "en", "GB" },
        { { { "LANGUAGE", "pt_BR:en" }, { "LANG", "es_ES.UTF-8" } }, "pt", "es", "ES" },
        { { { "LANG", "fil_PH.UTF-8" } },                            "en", "en", "PH" },
        { { { "LANG", "sr_RS@latin" } },                             "sr", "sr", "RS" },
        { { { "LANG", "nl" } },                                      "nl", "nl", "US" },
        { { { "LANG", "EN_us.iso88591" } },                          "en", "en", "US" },
        { { { "LANG", "es_419.UTF-8" } },                            "es", "es", "US" },
    };
}

TEST_P (LocaleCodeCases, AreTakenFromThePosixVariables)
{
    const auto& env = GetParam().environment;
    const auto codes = LocaleCodes::fromEnvironment ([&env] (const char* name)
    {
        const auto it = env.find (name);
        return it == env.end() ? juce::String() : juce::String (it->second);
    });

    EXPECT_EQ (codes.displayLanguage, juce::String (GetParam().displayLanguage));
    EXPECT_EQ (codes.userLanguage, juce::String (GetParam().userLanguage));
    EXPECT_EQ (codes.region, juce::String (GetParam().region));
}

INSTANTIATE_TEST_SUITE_P (Environments, LocaleCodeCases, ::testing::ValuesIn (localeCases));
