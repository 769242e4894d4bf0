// Every file the program writes reads back exactly, control characters
// included: JUCE's writer writes them as references ("&#1;") that an XML 1.0
// parser refuses, which once made one plug-in with such a name void the
// whole inventory, and a folder with one in its name void Paths.xml.

#include "core/inventory/InventoryFileWriter.h"
#include "core/inventory/InventoryWalk.h"
#include "core/inventory/MachineProfile.h"
#include "core/inventory/ScanUpload.h"
#include "core/xml/SafeXml.h"
#include "xmlrefs/ReferenceFilter.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    const juce::File fixtures (COBALTLINE_FIXTURES_DIR);

    /** Every control character but U+0000, the two non-characters, characters
        of the filter's stand-in range, and what XML escapes anyway. */
    juce::String awkwardText()
    {
        juce::String text ("Synth ");

        for (juce::juce_wchar c = 1; c < 0x20; ++c)
            text << juce::String::charToString (c);

        for (const auto c : { 0x7f, 0x85, 0xfffe, 0xffff, 0x10fe00, 0x10fe01, 0x10fe3f, 0xe9 })
            text << juce::String::charToString ((juce::juce_wchar) c);

        return text + "&<>\"'";
    }

    class ControlCharacters : public ::testing::Test
    {
    protected:
        TestContext test;
        const juce::String text = awkwardText();
    };
}

TEST_F (ControlCharacters, SettingsFilesReadBackExactly)
{
    writeTestProfile (test.settings, "Studio", text, text);
    const auto profile = test.settings.loadProfile();
    EXPECT_EQ (profile->getStringAttribute ("MachineName"), juce::String ("Studio"));
    EXPECT_EQ (profile->getStringAttribute ("Email"), text);
    EXPECT_EQ (test.settings.decipherPassword (profile->getStringAttribute ("Password")), text);

    juce::XmlElement paths (SettingsStore::pathsTag);
    paths.setAttribute ("path1", "/home/me/Plug\x01ins");
    paths.setAttribute ("path2", text);
    ASSERT_TRUE (SettingsStore::writeDocument (paths, test.settings.getPathsFile()));
    EXPECT_EQ (test.settings.loadPaths()->getStringAttribute ("path1"), juce::String ("/home/me/Plug\x01ins"));
    EXPECT_EQ (test.settings.loadPaths()->getStringAttribute ("path2"), text);
}

TEST_F (ControlCharacters, TheInventoryReadsBackExactly)
{
    const auto root = makeMachineProfile ("Studio", MachineFacts::gather (test.clock));
    InventoryFileWriter writer (*root);

    juce::XmlElement plugin ("Plugin");
    plugin.setAttribute ("Name", text);
    plugin.setAttribute ("Version", "1.0");
    plugin.setAttribute ("Vendor", "\x01");
    writer.append (plugin);

    const auto file = test.dataFolder().getChildFile ("Studio_PluginList.xml");
    ASSERT_TRUE (writer.writeTo (file));

    const auto read = SafeXml::parseFile (file, 1024 * 1024);
    ASSERT_NE (read, nullptr);
    ASSERT_NE (read->getFirstChildElement(), nullptr);
    EXPECT_EQ (read->getFirstChildElement()->getStringAttribute ("Name"), text);
    EXPECT_EQ (read->getFirstChildElement()->getStringAttribute ("Vendor"), juce::String ("\x01"));
}

TEST_F (ControlCharacters, AFolderNamedWithThemIsWalkedAndItsRejectsListedAsTheyAre)
{
   #if JUCE_WINDOWS
    GTEST_SKIP() << "Windows allows no control characters in file names";
   #endif

    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
    const auto folder = test.temp["Plug\x01ins\x1f"];
    ASSERT_TRUE (folder.createDirectory());
    const auto versionFixtures = fixtures.getChildFile ("plugins/version");
    versionFixtures.getChildFile ("table-040904e4.dll").copyFileTo (folder.getChildFile ("good.dll"));
    versionFixtures.getChildFile ("no-version.dll").copyFileTo (folder.getChildFile ("bad.dll"));

    const auto inventoryFile = test.settings.getMachineFile (SettingsStore::inventorySuffix);
    const auto root = makeMachineProfile ("Studio", MachineFacts::gather (test.clock));
    InventoryWalk walk (test.settings, { folder.getFullPathName() }, { "VST" }, inventoryFile);
    walk.run (*root, { [] { return false; }, [] (const juce::String&) {}, [] (double) {} });

    const auto inventory = SafeXml::parseFile (inventoryFile, 1024 * 1024);
    ASSERT_NE (inventory, nullptr);
    ASSERT_EQ (inventory->getNumChildElements(), 1);
    EXPECT_EQ (inventory->getFirstChildElement()->getStringAttribute ("Path"),
               folder.getChildFile ("good.dll").getFullPathName());

    const auto expected = folder.getChildFile ("bad.dll").getFullPathName() + "\r\n";
    EXPECT_EQ (readBytes (test.settings.getMachineFile (SettingsStore::unknownPluginsSuffix)),
               juce::MemoryBlock (expected.toRawUTF8(), expected.getNumBytesAsUTF8()));
}

TEST_F (ControlCharacters, TheUpdateListIsStoredAsItCameAndReadsBackExactly)
{
    juce::XmlElement list ("UpdateList");
    auto* row = list.createNewChildElement ("Plugin");
    row->setAttribute ("Name", text);
    row->setAttribute ("CurrentVersion", "2.0");

    LoopbackHttpServer server (answeringScansWith (list.toString()));
    test.setServiceUrl (server.getBaseUrl());
    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");

    const auto inventoryFile = test.settings.getMachineFile (SettingsStore::inventorySuffix);
    inventoryFile.replaceWithText ("<MachineProfile/>");
    const ConnectionCheck connection (test.service, test.desktop);
    const auto result = ScanUpload::run (test.settings, test.service, connection, inventoryFile, {});
    ASSERT_EQ (result.outcome, ScanUpload::Outcome::stored);

    const auto stored = SafeXml::parseFile (test.settings.getMachineFile (SettingsStore::updateListSuffix), 1024 * 1024);
    ASSERT_NE (stored, nullptr);
    ASSERT_NE (stored->getFirstChildElement(), nullptr);
    EXPECT_EQ (stored->getFirstChildElement()->getStringAttribute ("Name"), text);
}

TEST (ReferenceFilter, RewritesTheSameWhereverTheDocumentIsCut)
{
    const std::string document = "<?xml version=\"1.0\"?><r a=\"x&#1;&#x1F;&#65534;&#1113600;&amp;\xF4\x8F\xB8\x85\">"
                                 "t&#2;<![CDATA[&#3;\xF4\x8F\xB8\x81]]><!-- &#4; --><?pi &#5;?></r>";
    std::string whole;
    xmlrefs::ReferenceFilter once;
    once.feed (document, whole);
    once.finish (whole);

    for (size_t cut = 0; cut <= document.size(); ++cut)
    {
        std::string pieces;
        xmlrefs::ReferenceFilter twice;
        twice.feed (std::string_view (document).substr (0, cut), pieces);
        twice.feed (std::string_view (document).substr (cut), pieces);
        twice.finish (pieces);
        EXPECT_EQ (pieces, whole) << "cut at " << cut;
    }

    // References in text and values are rewritten; the CDATA section, the
    // comment and the instruction are left as they are, and a stand-in the
    // document holds for itself is marked.
    EXPECT_EQ (whole, "<?xml version=\"1.0\"?><r a=\"x&#x10FE01;&#x10FE1F;&#x10FE3E;&#x10FE00;&#1113600;&amp;"
                      "&#x10FE00;\xF4\x8F\xB8\x85\">t&#x10FE02;<![CDATA[&#3;]]>&#x10FE00;<![CDATA[\xF4\x8F\xB8\x81]]>"
                      "<!-- &#4; --><?pi &#5;?></r>");
}
