#include "core/inventory/InventoryWalk.h"
#include "core/inventory/MachineProfile.h"
#include "core/tables/PluginRow.h"
#include "core/xml/SafeXml.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
    const juce::File fixtures (COBALTLINE_FIXTURES_DIR);
    const juce::File versionFixtures = fixtures.getChildFile ("plugins/version");
    const juce::File walkTree = fixtures.getChildFile ("plugins/walk");

    /** A data folder with a profile naming the machine, and plug-in folders to walk. */
    class InventoryWalkTest : public ::testing::Test
    {
    protected:
        InventoryWalkTest()
        {
            store.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Studio\" Email=\"a@b.c\" Password=\"\"/>");
            inventoryFile.create();
            unknownFile.create();
        }

        /** Copies fixture DLLs into a folder of the temp tree; returns that folder. */
        juce::File folderWith (const juce::String& name, std::initializer_list<const char*> fixtureNames)
        {
            auto folder = temp["plugins"].getChildFile (name);
            folder.createDirectory();

            for (auto* fixture : fixtureNames)
                versionFixtures.getChildFile (fixture).copyFileTo (folder.getChildFile (fixture));

            return folder;
        }

        /** Runs a walk and returns the inventory file it left. */
        std::unique_ptr<juce::XmlElement> walk (const juce::StringArray& folders, const juce::StringArray& formats,
                                                std::function<bool()> shouldExit = [] { return false; })
        {
            const auto profile = makeMachineProfile ("Studio", MachineFacts::gather (Clock::system()));
            InventoryWalk w (store, folders, formats, inventoryFile);
            w.run (*profile, { std::move (shouldExit),
                               [this] (const juce::String& s) { statuses.add (s); },
                               [this] (double p) { progress.push_back (p); } });
            numPlugins = w.getNumPlugins();
            details = w.getDetails();
            return SafeXml::parseFile (inventoryFile, 16 * 1024 * 1024);
        }

        std::map<juce::String, const juce::XmlElement*> byFileName (const juce::XmlElement& root) const
        {
            std::map<juce::String, const juce::XmlElement*> result;

            for (auto* plugin : root.getChildWithTagNameIterator ("Plugin"))
                result[juce::File (plugin->getStringAttribute ("Path")).getFileName()] = plugin;

            return result;
        }

        TempFolder temp;
        SettingsStore store { temp["data"] };
        juce::File inventoryFile = temp["data"].getChildFile ("Studio_PluginList.xml");
        juce::File unknownFile = temp["data"].getChildFile ("Studio_UnknownPlugins.txt");
        juce::StringArray statuses;
        std::vector<double> progress;
        int numPlugins = 0;
        ScanDetails details;
    };
}

TEST_F (InventoryWalkTest, TheWalkTreeGivesEveryDllInAnyCaseAndDepthAndNothingElse)
{
    const auto root = walk ({ walkTree.getFullPathName() }, { "VST" });
    ASSERT_NE (root, nullptr);
    EXPECT_EQ (root->getTagName(), juce::String ("MachineProfile"));
    EXPECT_EQ (root->getStringAttribute ("MachineName"), juce::String ("Studio"));
    const auto plugins = byFileName (*root);
    EXPECT_EQ (numPlugins, 7);

    std::vector<juce::String> names;
    for (auto& [fileName, plugin] : plugins)
        names.push_back (fileName);

    EXPECT_EQ (names, (std::vector<juce::String> { ".hidden.dll", "X.DLL", "deep.dll", "in-hidden-folder.dll",
                                                   "inner.dll", "y.Dll", "z.dll" }));

    for (auto& [fileName, plugin] : plugins)
    {
        EXPECT_EQ (plugin->getStringAttribute ("Version"), juce::String ("1.0")) << fileName;
        EXPECT_EQ (plugin->getStringAttribute ("Vendor"), juce::String ("Walk Vendor"));
        EXPECT_EQ (plugin->getStringAttribute ("Format"), juce::String ("VST"));
        EXPECT_EQ (plugin->getStringAttribute ("Error"), juce::String());
        EXPECT_TRUE (juce::File (plugin->getStringAttribute ("Path")).isAChildOf (walkTree));
    }

    EXPECT_EQ (plugins.at ("y.Dll")->getStringAttribute ("Name"), juce::String ("Walk Y"));
    EXPECT_EQ (readText (unknownFile),
               walkTree.getChildFile ("level1/level2/unversioned.dll").getFullPathName() + "\r\n");
}

TEST_F (InventoryWalkTest, PluginAttributesComeInTheirFixedOrder)
{
    // A format other than the four walked as such reads "*.dll" as VST does, and keeps its name.
    const auto root = walk ({ folderWith ("a", { "incomplete-b0-no-vendor.dll" }).getFullPathName() }, { "AU" });
    ASSERT_NE (root, nullptr);
    const auto* plugin = root->getChildByName ("Plugin");
    ASSERT_NE (plugin, nullptr);

    const std::vector<std::pair<const char*, juce::String>> expected {
        { "Name", "Half Plug" }, { "Version", "2.5" }, { "Vendor", "" },
        { "Path", temp["plugins/a/incomplete-b0-no-vendor.dll"].getFullPathName() },
        { "Format", "AU" }, { "Error", "Problem retrieving information" } };

    ASSERT_EQ (plugin->getNumAttributes(), 6);

    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ (plugin->getAttributeName (i), juce::String (expected[(size_t) i].first));
        EXPECT_EQ (plugin->getAttributeValue (i), expected[(size_t) i].second);
    }
}

TEST_F (InventoryWalkTest, VersionsAreCleanedAndThoseWithoutADotRejected)
{
    const auto folder = folderWith ("v", { "version-1-0-0-1.dll", "version-10.dll", "version-empty.dll",
                                           "version-dot.dll", "version-ver-build.dll", "version-2-0-1-5.dll",
                                           "version-1-2-3.dll", "version-4-10.dll", "no-version.dll" });
    const auto root = walk ({ folder.getFullPathName() }, { "" });
    ASSERT_NE (root, nullptr);
    const auto plugins = byFileName (*root);

    const std::map<juce::String, juce::String> expectedVersions {
        { "version-1-0-0-1.dll", "1.001" }, { "version-dot.dll", "." }, { "version-ver-build.dll", "3.017" },
        { "version-2-0-1-5.dll", "2.015" }, { "version-1-2-3.dll", "1.23" }, { "version-4-10.dll", "4.10" } };

    ASSERT_EQ (plugins.size(), expectedVersions.size());

    for (auto& [fileName, version] : expectedVersions)
        EXPECT_EQ (plugins.at (fileName)->getStringAttribute ("Version"), version) << fileName;

    juce::StringArray rejected;
    rejected.addLines (readText (unknownFile).trimEnd());
    rejected.sort (false);
    EXPECT_EQ (rejected, juce::StringArray (folder.getChildFile ("no-version.dll").getFullPathName(),
                                            folder.getChildFile ("version-10.dll").getFullPathName(),
                                            folder.getChildFile ("version-empty.dll").getFullPathName()));
}

TEST_F (InventoryWalkTest, OnlyTheFirstExactUadEntryOfAWholeRunIsKept)
{
    const auto first = folderWith ("one", { "uad-1.dll", "uad-other-case.dll" });
    const auto second = folderWith ("two", { "uad-2.dll" });
    const auto root = walk ({ first.getFullPathName(), second.getFullPathName() }, { "VST", "AAX" });
    ASSERT_NE (root, nullptr);

    int exact = 0, otherCase = 0;

    for (auto* plugin : root->getChildWithTagNameIterator ("Plugin"))
    {
        exact += plugin->getStringAttribute ("Name") == "UAD Powered Plug-Ins" ? 1 : 0;
        otherCase += plugin->getStringAttribute ("Name") == "UAD Powered Plug-ins" ? 1 : 0;
    }

    EXPECT_EQ (exact, 1);
    EXPECT_EQ (otherCase, 1);
    EXPECT_EQ (byFileName (*root).count ("uad-2.dll"), 0u);
    EXPECT_EQ (readText (unknownFile), juce::String());
}

TEST_F (InventoryWalkTest, OverlappingFoldersListAPluginOncePerFolderWithItsFormat)
{
    const auto root = walk ({ walkTree.getChildFile ("level1").getFullPathName(),
                              walkTree.getChildFile ("level1/level2").getFullPathName() }, { "AU", "RTAS/TDM" });
    ASSERT_NE (root, nullptr);
    juce::StringArray formatsOfZ;

    for (auto* plugin : root->getChildWithTagNameIterator ("Plugin"))
        if (plugin->getStringAttribute ("Path").endsWith ("z.dll"))
            formatsOfZ.add (plugin->getStringAttribute ("Format"));

    EXPECT_EQ (formatsOfZ, juce::StringArray ("AU", "RTAS/TDM"));
}

TEST_F (InventoryWalkTest, WithoutFoldersTheInventoryFileKeepsItsContent)
{
    inventoryFile.replaceWithText ("previous scan");
    walk ({}, {});
    EXPECT_EQ (readText (inventoryFile), juce::String ("previous scan"));
    EXPECT_TRUE (statuses.isEmpty());
}

TEST_F (InventoryWalkTest, AMissingFolderStillRewritesTheInventory)
{
    inventoryFile.replaceWithText ("previous scan");
    const auto written = walk ({ temp["does-not-exist"].getFullPathName(), "relative/path" }, { "VST", "VST" });

    ASSERT_NE (written, nullptr);
    EXPECT_EQ (written->getTagName(), juce::String ("MachineProfile"));
    EXPECT_EQ (written->getNumChildElements(), 0);
}

TEST_F (InventoryWalkTest, ReportsStatusPerFileAndProgressPerFolderBetweenZeroAndOne)
{
    const auto a = folderWith ("a", { "table-040904e4.dll", "table-040904b0.dll" });
    const auto b = folderWith ("b", { "table-000004e4.dll" });
    walk ({ a.getFullPathName(), b.getFullPathName() }, { "VST", "VST" });

    EXPECT_EQ (statuses, juce::StringArray ("Scanning Directory 1 of 2", "Scanning Directory 1 of 2",
                                            "Scanning Directory 2 of 2"));
    ASSERT_GE (progress.size(), 2u);   // the first file of each folder, then now and then
    ASSERT_LE (progress.size(), 3u);

    for (auto p : progress)
        EXPECT_TRUE (p >= 0.0 && p <= 1.0) << p;
}

TEST_F (InventoryWalkTest, AStopRequestEndsTheFolderAndSkipsTheRestButEveryFolderIsWritten)
{
    const auto a = folderWith ("a", { "table-040904e4.dll", "table-040904b0.dll", "table-000004e4.dll" });
    const auto b = folderWith ("b", { "table-000004b0.dll" });
    // The status is set once per file handled: stop after the second file.
    const auto written = walk ({ a.getFullPathName(), b.getFullPathName() }, { "VST", "VST" },
                               [this] { return statuses.size() >= 2; });

    ASSERT_NE (written, nullptr);
    EXPECT_EQ (written->getNumChildElements(), 2);
    EXPECT_EQ (statuses, juce::StringArray ("Scanning Directory 1 of 2", "Scanning Directory 1 of 2"));
}

TEST_F (InventoryWalkTest, AStopRequestIsSeenEvenBetweenEntriesThatAreNoPlugins)
{
    // Many folders and other files, and a single plug-in at the very end.
    const auto tree = temp["plugins/big"];

    for (int i = 0; i < 200; ++i)
        tree.getChildFile ("dir" + juce::String (i) + "/readme.txt").create();

    versionFixtures.getChildFile ("table-040904e4.dll").copyFileTo (tree.getChildFile ("zzz/last.dll"));
    int asked = 0;

    const auto written = walk ({ tree.getFullPathName() }, { "VST" }, [&asked] { return ++asked > 10; });

    EXPECT_LE (asked, 12);
    ASSERT_NE (written, nullptr);
    EXPECT_EQ (written->getNumChildElements(), 0);
}

TEST_F (InventoryWalkTest, TheUnknownPluginsFileIsUtf8WithoutBomAndCrLf)
{
    auto folder = temp["plugins"].getChildFile (juce::String::fromUTF8 ("Pl\xc3\xbcgins \xe2\x82\xac"));
    folder.createDirectory();
    versionFixtures.getChildFile ("no-version.dll").copyFileTo (folder.getChildFile ("a.dll"));

    walk ({ folder.getFullPathName() }, { "VST" });

    juce::MemoryBlock bytes;
    unknownFile.loadFileAsData (bytes);
    const auto expected = folder.getChildFile ("a.dll").getFullPathName() + "\r\n";
    EXPECT_EQ (bytes, juce::MemoryBlock (expected.toRawUTF8(), expected.getNumBytesAsUTF8()));
}

TEST_F (InventoryWalkTest, TheUnknownPluginsFileFollowsTheCurrentMachineName)
{
    const auto folder = folderWith ("a", { "no-version.dll" });
    store.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Laptop\"/>");

    walk ({ folder.getFullPathName() }, { "VST" });

    EXPECT_EQ (readText (unknownFile), juce::String());
    EXPECT_TRUE (readText (temp["data"].getChildFile ("Laptop_UnknownPlugins.txt")).contains ("no-version.dll"));
}

TEST_F (InventoryWalkTest, TheInventoryFileIsExactlyTheDocumentWritten)
{
    auto folder = temp["plugins"].getChildFile ("Plugin Folder With A Long Name/VST Effects");
    folder.createDirectory();
    versionFixtures.getChildFile ("table-040904e4.dll").copyFileTo (folder.getChildFile ("table-040904e4.dll"));
    const auto path = folder.getChildFile ("table-040904e4.dll").getFullPathName();
    ASSERT_GT (path.length(), 52);   // long enough to stand on a line of its own

    MachineFacts facts;
    facts.platformString = "Windows 7";
    facts.cpuVendor = "GenuineIntel";
    facts.cpuSpeedMHz = 2394;
    facts.is64BitOperatingSystem = facts.hasSSE = facts.hasSSE2 = facts.hasMMX = true;
    facts.ramMegabytes = 8192;
    facts.time = juce::Time (2027, 2, 1, 13, 0, 0, 0, true);

    const auto profile = makeMachineProfile ("Studio", facts);
    InventoryWalk w (store, { folder.getFullPathName() }, { "VST" }, inventoryFile);
    w.run (*profile, { [] { return false; }, [] (const juce::String&) {}, [] (double) {} });

    EXPECT_EQ (readText (inventoryFile),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
               "\r\n"
               "<MachineProfile MachineName=\"Studio\" Platform=\"Win\" PlatformString=\"Windows 7\"\r\n"
               "                CPUVendor=\"GenuineIntel\" CPUSpeed=\"2394\" Supports64Bit=\"1\" RAM=\"8192\"\r\n"
               "                HasSSE1=\"1\" HasSSE2=\"1\" HasMMX=\"1\" Has3DNow=\"0\" DisplayLanguage=\"en\"\r\n"
               "                UserLanguage=\"en\" Region=\"US\" Time=\"1 Mar 2027 1:00:00pm\">\r\n"
               "  <Plugin Name=\"Table E4 Product\" Version=\"1.00\" Vendor=\"Table E4 Vendor\"\r\n"
               "          Path=\"" + path + "\"\r\n"
               "          Format=\"VST\" Error=\"\"/>\r\n"
               "</MachineProfile>\r\n");
    EXPECT_LE (w.getBytesRead(), 64u * 1024u);
}

TEST_F (InventoryWalkTest, EachFormatReadsItsFilesAndBundlesAndNeverLooksInsideABundle)
{
    const auto place = [] (const char* fixture, const juce::File& target)
    {
        target.getParentDirectory().createDirectory();
        versionFixtures.getChildFile (fixture).copyFileTo (target);
    };

    const auto vst3 = temp["plugins"].getChildFile ("vst3");
    place ("arch-x86_64.dll", vst3.getChildFile ("Both.vst3/Contents/x86_64-win/Both.vst3"));
    place ("empty-company.dll", vst3.getChildFile ("Both.vst3/Contents/x86-win/Both.vst3"));
    place ("version-1-2-3.dll", vst3.getChildFile ("Both.vst3/Contents/Resources/Inner.vst3"));
    place ("empty-company.dll", vst3.getChildFile ("Old.vst3/Contents/x86-win/Old.vst3"));
    place ("arch-i686.dll", vst3.getChildFile ("Single.VST3"));
    place ("arch-i686.dll", vst3.getChildFile ("ignored.dll"));
    vst3.getChildFile ("Empty.vst3/Contents").createDirectory();

    const auto clap = temp["plugins"].getChildFile ("clap");
    place ("empty-company.dll", clap.getChildFile ("deep/Synth.clap"));
    place ("arch-i686.dll", clap.getChildFile ("ignored.dll"));
    clap.getChildFile ("Folder.clap").createDirectory();

    const auto aax = temp["plugins"].getChildFile ("aax");
    place ("arch-x86_64.dll", aax.getChildFile ("Pro.aaxplugin/Contents/x64/Pro.aaxplugin"));
    place ("empty-company.dll", aax.getChildFile ("Win.aaxplugin/Contents/Win32/Win.aaxplugin"));
    place ("arch-i686.dll", aax.getChildFile ("loose.aaxplugin"));   // a file: not a bundle

    const auto root = walk ({ vst3.getFullPathName(), clap.getFullPathName(), aax.getFullPathName() },
                            { "VST3", "CLAP", "AAX" });
    ASSERT_NE (root, nullptr);

    std::map<juce::String, std::pair<juce::String, juce::String>> found;   // path: name, format

    for (auto* plugin : root->getChildWithTagNameIterator ("Plugin"))
        found[plugin->getStringAttribute ("Path")] = { plugin->getStringAttribute ("Name"), plugin->getStringAttribute ("Format") };

    const std::map<juce::String, std::pair<juce::String, juce::String>> expected {
        { vst3.getChildFile ("Both.vst3").getFullPathName(), { "Arch Product", "VST3" } },    // x86_64-win first
        { vst3.getChildFile ("Old.vst3").getFullPathName(), { "Empty Company", "VST3" } },
        { vst3.getChildFile ("Single.VST3").getFullPathName(), { "Arch Product", "VST3" } },
        { clap.getChildFile ("deep/Synth.clap").getFullPathName(), { "Empty Company", "CLAP" } },
        { aax.getChildFile ("Pro.aaxplugin").getFullPathName(), { "Arch Product", "AAX" } },
        { aax.getChildFile ("Win.aaxplugin").getFullPathName(), { "Empty Company", "AAX" } },
    };
    EXPECT_EQ (found, expected);

    // A bundle without its binary is listed as not recognised.
    EXPECT_EQ (readText (unknownFile).trimEnd(), vst3.getChildFile ("Empty.vst3").getFullPathName());
}

//==============================================================================
TEST_F (InventoryWalkTest, TheDetailsListKeptPluginsWithStatedVersionsAndEachRejectionWithItsReason)
{
    const auto dlls = folderWith ("dll", { "table-040904e4.dll", "no-version.dll", "empty-string-file-info.dll",
                                           "version-10.dll", "uad-1.dll", "uad-2.dll" });
    const auto vst3 = temp["plugins/vst3"];
    vst3.getChildFile ("Empty.vst3/Contents").createDirectory();

    walk ({ dlls.getFullPathName(), vst3.getFullPathName() }, { "VST", "VST3" });
    const auto written = ScanDetails::read (temp["data"].getChildFile ("Studio_ScanDetails.xml"));
    ASSERT_TRUE (written.has_value());
    EXPECT_EQ (written->updateCheck, ScanDetails::UpdateCheck::pending);

    // The second UAD entry, dropped silently, is in neither list.
    std::map<juce::String, juce::String> kept;   // file name: stated version
    for (const auto& plugin : written->kept)
        kept[juce::File (plugin.path).getFileName()] = plugin.statedVersion;

    EXPECT_EQ (kept, (std::map<juce::String, juce::String> { { "table-040904e4.dll", "1.0.0" }, { "uad-1.dll", "9.12.0" } }));

    const auto* table = written->findKept (dlls.getChildFile ("table-040904e4.dll").getFullPathName());
    ASSERT_NE (table, nullptr);
    EXPECT_EQ (table->name, juce::String ("Table E4 Product"));
    EXPECT_EQ (table->vendor, juce::String ("Table E4 Vendor"));
    EXPECT_EQ (table->format, juce::String ("VST"));

    std::map<juce::String, std::pair<juce::String, ScanDetails::Reason>> rejected;
    for (const auto& file : written->rejected)
        rejected[juce::File (file.path).getFileName()] = { file.statedVersion, file.reason };

    using R = ScanDetails::Reason;
    const std::map<juce::String, std::pair<juce::String, ScanDetails::Reason>> expected {
        { "no-version.dll", { "", R::noVersionResource } },
        { "empty-string-file-info.dll", { "", R::noCompleteStringTable } },
        { "version-10.dll", { "10", R::noVersionNumber } },
        { "Empty.vst3", { "", R::noBinaryInBundle } } };
    EXPECT_EQ (rejected, expected);

    // The Not Recognised tab reads each rejection with the words of its reason.
    const auto root = SafeXml::parseFile (temp["data"].getChildFile ("Studio_ScanDetails.xml"), 1 << 20);
    ASSERT_NE (root, nullptr);
    juce::StringArray remarks;
    for (const auto& row : PluginRow::allFrom (*root, PluginListKind::notRecognised))
        remarks.add (row.name + ": " + row.remark);

    remarks.sort (false);
    EXPECT_EQ (remarks, juce::StringArray ("Empty.vst3: No plug-in file in the bundle",
                                           "empty-string-file-info.dll: No complete string table",
                                           "no-version.dll: No version resource",
                                           "version-10.dll: No version number"));
}

TEST_F (InventoryWalkTest, TheDetailsFileIsWrittenAfterEachFolder)
{
    const auto a = folderWith ("a", { "table-040904e4.dll", "no-version.dll" });
    const auto b = folderWith ("b", { "table-040904b0.dll", "table-000004e4.dll" });
    const auto detailsFile = temp["data"].getChildFile ("Studio_ScanDetails.xml");
    std::optional<ScanDetails> seenDuringSecondFolder;

    walk ({ a.getFullPathName(), b.getFullPathName() }, { "VST", "VST" },
          [&]
          {
              if (statuses.contains ("Scanning Directory 2 of 2") && ! seenDuringSecondFolder.has_value())
                  seenDuringSecondFolder = ScanDetails::read (detailsFile);

              return false;
          });

    ASSERT_TRUE (seenDuringSecondFolder.has_value());
    EXPECT_EQ (seenDuringSecondFolder->kept.size(), 1u);
    EXPECT_EQ (seenDuringSecondFolder->rejected.size(), 1u);

    const auto atTheEnd = ScanDetails::read (detailsFile);
    ASSERT_TRUE (atTheEnd.has_value());
    EXPECT_EQ (atTheEnd->kept.size(), 3u);
    EXPECT_EQ (details.kept.size(), 3u);
}

TEST (ScanDetails, EveryValueReadsBackExactlyControlCharactersIncluded)
{
    TempFolder temp;
    ScanDetails details;
    details.updateCheck = ScanDetails::UpdateCheck::refused;
    details.serviceMessage = "Login Failed: \x01\t\"<&>\"";
    details.kept.push_back ({ "C:\\VST\\a\x02.dll", "Name\x1f", "Vendor\r\n", "VST", "1,0\x7f" });
    details.rejected.push_back ({ "C:\\VST\\b.dll", "VST3", "beta\x03", ScanDetails::Reason::noCompleteStringTable });

    const auto file = temp["Studio_ScanDetails.xml"];
    ASSERT_TRUE (details.writeTo (file));
    const auto read = ScanDetails::read (file);
    ASSERT_TRUE (read.has_value());

    EXPECT_EQ (read->updateCheck, details.updateCheck);
    EXPECT_EQ (read->serviceMessage, details.serviceMessage);
    ASSERT_EQ (read->kept.size(), 1u);
    const auto& k = read->kept[0];
    EXPECT_EQ (juce::StringArray (k.path, k.name, k.vendor, k.format, k.statedVersion),
               juce::StringArray ("C:\\VST\\a\x02.dll", "Name\x1f", "Vendor\r\n", "VST", "1,0\x7f"));
    ASSERT_EQ (read->rejected.size(), 1u);
    EXPECT_EQ (read->rejected[0].statedVersion, juce::String ("beta\x03"));
    EXPECT_EQ (read->rejected[0].reason, ScanDetails::Reason::noCompleteStringTable);
}

TEST (ScanDetails, UnreadableFilesGiveNothingAndUnknownValuesReadLeniently)
{
    TempFolder temp;
    EXPECT_FALSE (ScanDetails::read (temp["missing.xml"]).has_value());
    EXPECT_FALSE (ScanDetails::read (temp.get()).has_value());

    temp["garbage.xml"].replaceWithText ("<CobaltlineScanDetails");
    EXPECT_FALSE (ScanDetails::read (temp["garbage.xml"]).has_value());

    temp["other.xml"].replaceWithText ("<MachineProfile/>");
    EXPECT_FALSE (ScanDetails::read (temp["other.xml"]).has_value());

    temp["odd.xml"].replaceWithText ("<CobaltlineScanDetails UpdateCheck=\"Checked\">"
                                     "<NotRecognised Path=\"p\" Reason=\"gremlins\"/><Other/></CobaltlineScanDetails>");
    const auto odd = ScanDetails::read (temp["odd.xml"]);
    ASSERT_TRUE (odd.has_value());
    EXPECT_EQ (odd->updateCheck, ScanDetails::UpdateCheck::pending);
    EXPECT_TRUE (odd->kept.empty());
    ASSERT_EQ (odd->rejected.size(), 1u);
    EXPECT_EQ (odd->rejected[0].reason, ScanDetails::Reason::noVersionNumber);
}

TEST (ScanDetails, FindKeptGivesTheFirstOfAPathAndFollowsAddedEntries)
{
    ScanDetails details;

    for (int i = 0; i < 1000; ++i)
        details.kept.push_back ({ "/p/" + juce::String (999 - i), "N" + juce::String (i), {}, "VST", {} });

    details.kept.push_back ({ "/p/500", "later", {}, "VST3", {} });

    ASSERT_NE (details.findKept ("/p/500"), nullptr);
    EXPECT_EQ (details.findKept ("/p/500")->format, juce::String ("VST"));
    EXPECT_EQ (details.findKept ("/p/0")->name, juce::String ("N999"));
    EXPECT_EQ (details.findKept ("/p/1000"), nullptr);

    details.kept.push_back ({ "/p/1000", "added", {}, "VST", {} });
    ASSERT_NE (details.findKept ("/p/1000"), nullptr);
    EXPECT_EQ (details.findKept ("/p/1000")->name, juce::String ("added"));

    // A copy answers from its own entries.
    const auto copy = details;
    EXPECT_EQ (copy.findKept ("/p/1000"), &copy.kept.back());
}
