#include "core/tables/TableRules.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace TableRules;

namespace
{
    std::vector<juce::String> sortedNames (std::vector<const char*> names, bool forwards = true)
    {
        std::vector<PluginRow> rows;

        for (auto* name : names)
            rows.push_back (PluginRow { name });

        std::stable_sort (rows.begin(), rows.end(), RowComparator (&PluginRow::name, forwards));

        std::vector<juce::String> result;

        for (const auto& sorted : rows)
            result.push_back (sorted.name);

        return result;
    }

    PluginRow row (const char* name, const char* vendor, const char* website = "")
    {
        PluginRow plugin;
        plugin.name = juce::String::fromUTF8 (name);
        plugin.vendor = juce::String::fromUTF8 (vendor);
        plugin.website = juce::String::fromUTF8 (website);
        return plugin;
    }
}

TEST (TableRules, SortsTextsCharacterByCharacterIgnoringCaseAndLeadingPunctuation)
{
    EXPECT_LT (compareTexts ("10.2", "9.1"), 0);
    EXPECT_EQ (compareTexts ("reverb", "REVERB"), 0);
    EXPECT_EQ (compareTexts ("(Old) Delay", "Old) Delay"), 0);
    EXPECT_EQ (compareTexts ("--", ""), 0);

    EXPECT_EQ (sortedNames ({ "Phaser", "(Old) Delay", "Amp", "octave", "Noise" }),
               (std::vector<juce::String> { "Amp", "Noise", "octave", "(Old) Delay", "Phaser" }));
    EXPECT_EQ (sortedNames ({ "b", "a", "C" }, false), (std::vector<juce::String> { "C", "b", "a" }));
}

TEST (TableRules, EqualTextsAreOrderedByTheirIds)
{
    std::vector<PluginRow> rows;

    for (auto* id : { "3", "1", "2" })
    {
        PluginRow plugin;
        plugin.name = "Same";
        plugin.id = id;
        rows.push_back (plugin);
    }

    std::sort (rows.begin(), rows.end(), RowComparator (&PluginRow::name, true));

    juce::StringArray ids;
    for (const auto& sorted : rows)
        ids.add (sorted.id);

    EXPECT_EQ (ids, juce::StringArray ("1", "2", "3"));
}

TEST (TableRules, TheLatestVersionLosesItsTrailingZeros)
{
    const std::vector<std::pair<const char*, const char*>> cases {
        { "2.500", "2.5" }, { "3.000", "3.0" }, { "4.100", "4.1" }, { "1.25", "1.25" }, { "1.0", "1.0" },
        { "", "" }, { "10", "10" }, { "100", "100" }, { "0.0", "0.0" } };

    for (const auto& [stored, shown] : cases)
        EXPECT_EQ (displayedVersion (stored), juce::String (shown)) << stored;
}

TEST (TableRules, CellsShowControlCharactersAsVisibleSymbols)
{
    PluginRow plugin;
    plugin.name = "Synth\x01\x1f\x7f\t";
    plugin.latestVersion = "2.500\x01";

    const auto updates = TableDefinition::updates();
    EXPECT_EQ (updates.findColumn (1)->cellText (plugin), juce::String (L"Synth\u2401\u241f\u2421\u2409"));
    EXPECT_EQ (updates.findColumn (5)->cellText (plugin), juce::String (L"2.500\u2401"));
    EXPECT_EQ (visibleText (juce::String::fromUTF8 ("Caf\xc3\xa9")), juce::String::fromUTF8 ("Caf\xc3\xa9"));
}

TEST (TableRules, ADoubleClickOpensTheWebsiteOrAWebSearch)
{
    EXPECT_EQ (pageFor (row ("Big Reverb", "Acme", "https://acme.example/big-reverb")).toString (true),
               juce::String ("https://acme.example/big-reverb"));
    EXPECT_EQ (pageFor (row ("Big Reverb", "Acme")).toString (true),
               juce::String ("https://www.google.com/search?q=Acme%20Big%20Reverb"));
    EXPECT_EQ (pageFor (row ("Big Reverb", "Acme", "")).toString (true),
               juce::String ("https://www.google.com/search?q=Acme%20Big%20Reverb"));

    // An empty vendor keeps the space in front of the name.
    EXPECT_EQ (pageFor (row ("Foo", "")).getParameterValues()[0], juce::String (" Foo"));
}

TEST (TableRules, AWebsiteFromTheServiceCannotReachTheShellOrALocalFile)
{
    // Not a web address: a search instead.
    for (auto* website : { "file:///etc/passwd", "javascript:alert(1)", "/usr/bin/xterm", "ftp://x/y" })
        EXPECT_TRUE (pageFor (row ("P", "V", website)).toString (true).startsWith ("https://www.google.com/search"))
            << website;

    // What a shell would act on inside double quotes is encoded; the rest is kept.
    EXPECT_EQ (pageFor (row ("P", "V", "https://x.example/a$(touch y)`id`\"\\ b?q=%41&r=caf\xc3\xa9")).toString (true),
               juce::String ("https://x.example/a%24(touch%20y)%60id%60%22%5C%20b?q=A&r=caf%C3%A9"));
}
