#include "core/inventory/VersionCleaning.h"

#include <gtest/gtest.h>

namespace
{
    struct Case
    {
        const char* raw;
        const char* cleaned;
    };

    class VersionCleaningCases : public ::testing::TestWithParam<Case> {};

    const Case cases[] = {
        { "1.2.3",              "1.23" },
        { "2, 0, 1, 5",         "2.015" },
        { "ver 3.0 build 17",   "3.017" },
        { "4.10",               "4.10" },
        { "1,0,0,1",            "1.001" },
        { "1.0.4",              "1.04" },
        { "12",                 "12" },
        { "",                   "" },
        { ".",                  "." },
        { "v.",                 "." },
        { "abc",                "" },
        { "..",                 "." },
        { "1..2",               "1.2" },
        { "Build 7 (x64) .5",   "764.5" },
        { "\xef\xbc\x91.\xef\xbc\x92", "." },   // fullwidth digits are not digits here
        { "1.2-beta3",          "1.23" },
        { " 10 . 2 ",           "10.2" },
    };
}

TEST_P (VersionCleaningCases, GivesOneDecimalLookingNumber)
{
    EXPECT_EQ (cleanVersion (juce::String::fromUTF8 (GetParam().raw)), juce::String (GetParam().cleaned));
}

INSTANTIATE_TEST_SUITE_P (Examples, VersionCleaningCases, ::testing::ValuesIn (cases));
