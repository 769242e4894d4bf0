#include "core/tables/PluginRow.h"
#include "core/xml/SafeXml.h"

#include <gtest/gtest.h>

namespace
{
    std::vector<PluginRow> rowsOf (const char* document, PluginListKind kind)
    {
        const auto root = SafeXml::parse (juce::String::fromUTF8 (document));
        return root != nullptr ? PluginRow::allFrom (*root, kind) : std::vector<PluginRow> {};
    }
}

TEST (PluginRow, TheInventoryGivesItsVersionAsTheInstalledOne)
{
    const auto rows = rowsOf ("<MachineProfile MachineName=\"Studio\">"
                              "<Plugin Name=\"Amp\" Version=\"1.2\" Vendor=\"Acme\" Path=\"C:\\VST\\amp.dll\""
                              " Format=\"VST\" Error=\"Problem retrieving information\""
                              " InstalledVersion=\"9.9\" CurrentVersion=\"9.9\"/>"
                              "<Plugin/>"
                              "</MachineProfile>",
                              PluginListKind::inventory);

    ASSERT_EQ (rows.size(), 2u);
    EXPECT_EQ (rows[0].name, juce::String ("Amp"));
    EXPECT_EQ (rows[0].vendor, juce::String ("Acme"));
    EXPECT_EQ (rows[0].format, juce::String ("VST"));
    EXPECT_EQ (rows[0].installedVersion, juce::String ("1.2"));
    EXPECT_EQ (rows[0].latestVersion, juce::String());   // the update list's names mean nothing here
    EXPECT_EQ (rows[0].path, juce::String ("C:\\VST\\amp.dll"));
    EXPECT_EQ (rows[0].error, juce::String ("Problem retrieving information"));

    // Missing attributes are empty texts.
    EXPECT_TRUE (rows[1].name.isEmpty() && rows[1].vendor.isEmpty() && rows[1].installedVersion.isEmpty()
                 && rows[1].website.isEmpty() && rows[1].id.isEmpty());
}

TEST (PluginRow, TheUpdateListGivesBothVersionsWhateverTheTags)
{
    const auto rows = rowsOf ("<UpdateList>"
                              "<Plugin ID=\"7\" Name=\"Delay\" Vendor=\"Acme\" Format=\"AAX\" Version=\"0.1\""
                              " InstalledVersion=\"2.49\" CurrentVersion=\"2.500\" Website=\"https://acme.example/d\"/>"
                              "stray text"
                              "<Other Name=\"Second\"/>"
                              "</UpdateList>",
                              PluginListKind::updateList);

    ASSERT_EQ (rows.size(), 2u);   // the text is not a row
    EXPECT_EQ (rows[0].id, juce::String ("7"));
    EXPECT_EQ (rows[0].format, juce::String ("AAX"));
    EXPECT_EQ (rows[0].installedVersion, juce::String ("2.49"));
    EXPECT_EQ (rows[0].latestVersion, juce::String ("2.500"));   // as stored: the table shortens it
    EXPECT_EQ (rows[0].website, juce::String ("https://acme.example/d"));
    EXPECT_EQ (rows[1].name, juce::String ("Second"));

    EXPECT_TRUE (rowsOf ("<Errors ErrorTitle=\"Login Failed\" ErrorText=\"x\"/>", PluginListKind::updateList).empty());
}

TEST (PluginRow, ControlCharactersAndOtherTextsAreKeptExactly)
{
    // JUCE's writer writes control characters as references; the reader gives them back.
    const auto rows = rowsOf ("<UpdateList><Plugin Name=\"Synth&#1;&#x1f;&#127;\" Vendor=\"Caf\xc3\xa9 &amp; Co\""
                              " CurrentVersion=\" 4.100 \"/></UpdateList>",
                              PluginListKind::updateList);

    ASSERT_EQ (rows.size(), 1u);
    EXPECT_EQ (rows[0].name, juce::String ("Synth\x01\x1f\x7f"));
    EXPECT_EQ (rows[0].vendor, juce::String::fromUTF8 ("Caf\xc3\xa9 & Co"));
    EXPECT_EQ (rows[0].latestVersion, juce::String (" 4.100 "));
}
