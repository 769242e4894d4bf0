#include "core/inventory/InventoryWalk.h"
#include "core/inventory/PluginFileInfo.h"
#include "core/inventory/MachineProfile.h"
#include "core/xml/SafeXml.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

/*  The inventory a scan makes of every fixture plug-in and malformed file,
    which must be the same whichever platform the program runs on: on Linux
    the project's own reader reads the version resources, on Windows the
    system's version calls do. tests/fixtures/plugins/expected-inventory.tsv
    holds it; where the Windows calls are known to give something else, the
    file's path is in expected-overrides.tsv beside it, with the reason.

    Set COBALTLINE_WRITE_INVENTORY to a file name to have the inventory this
    platform made written there.
*/
namespace
{
    const juce::File fixtures (COBALTLINE_FIXTURES_DIR);
    const juce::File pluginsFolder = fixtures.getChildFile ("plugins");

    /** Every byte outside 0x20-0x7E, and the backslash, as \xNN: the escaping
        of the reference files. */
    std::string escaped (const juce::String& text)
    {
        std::string out;

        for (auto c : text)
        {
            if (c < 0x20 || c > 0x7e || c == '\\')
                out += juce::String::formatted ("\\x%02X", (int) c).toStdString();
            else
                out += (char) c;
        }

        return out;
    }

    std::vector<std::vector<std::string>> readTsv (const juce::File& file)
    {
        std::vector<std::vector<std::string>> rows;
        std::ifstream in (file.getFullPathName().toStdString(), std::ios::binary);

        for (std::string line; std::getline (in, line);)
        {
            if (line.empty() || line[0] == '#')
                continue;

            std::vector<std::string> fields;
            std::stringstream split (line);

            for (std::string field; std::getline (split, field, '\t');)
                fields.push_back (field);

            rows.push_back (fields);
        }

        return rows;
    }

    /** "version/x.dll" or "../malformed/x.dll" (relative to the plug-ins
        folder) as a path below the folder that holds both copies. */
    std::string walkedPath (const std::string& overridePath)
    {
        const std::string up = "../";
        return overridePath.rfind (up, 0) == 0 ? overridePath.substr (up.size()) : "plugins/" + overridePath;
    }

    /** The rows of an inventory: one per plug-in kept (path, Name, Version,
        Vendor, Error) and one per file turned away ("rejected"), by path. */
    std::set<std::string> scanRows (const juce::StringArray& leaveOut)
    {
        TempFolder temp;
        const auto root = temp["walked"];
        pluginsFolder.copyDirectoryTo (root.getChildFile ("plugins"));
        fixtures.getChildFile ("malformed").copyDirectoryTo (root.getChildFile ("malformed"));

        for (auto& path : leaveOut)
            root.getChildFile (path).deleteFile();

        SettingsStore store (temp["data"]);
        store.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Studio\" Email=\"\" Password=\"\"/>");
        const auto inventoryFile = temp["data"].getChildFile ("Studio_PluginList.xml");
        const auto unknownFile = temp["data"].getChildFile ("Studio_UnknownPlugins.txt");

        InventoryWalk walk (store, { root.getChildFile ("plugins").getFullPathName(),
                                     root.getChildFile ("malformed").getFullPathName() },
                            { "VST", "VST" }, inventoryFile);
        walk.run (*makeMachineProfile ("Studio", MachineFacts::gather (Clock::system())),
                  { [] { return false; }, [] (const juce::String&) {}, [] (double) {} });

        const auto relative = [&root] (const juce::String& path)
        {
            return juce::File (path).getRelativePathFrom (root).replaceCharacter ('\\', '/').toStdString();
        };

        std::set<std::string> rows;
        const auto inventory = SafeXml::parseFile (inventoryFile, 16 * 1024 * 1024);

        if (inventory != nullptr)
            for (auto* plugin : inventory->getChildWithTagNameIterator ("Plugin"))
                rows.insert (relative (plugin->getStringAttribute ("Path")) + "\t"
                             + escaped (plugin->getStringAttribute ("Name")) + "\t"
                             + escaped (plugin->getStringAttribute ("Version")) + "\t"
                             + escaped (plugin->getStringAttribute ("Vendor")) + "\t"
                             + escaped (plugin->getStringAttribute ("Error")));

        juce::StringArray rejected;
        rejected.addLines (unknownFile.loadFileAsString());

        for (auto& path : rejected)
            if (path.isNotEmpty())
                rows.insert (relative (path) + "\trejected");

        return rows;
    }

    std::string pathOf (const std::string& row)
    {
        return row.substr (0, row.find ('\t'));
    }
}

TEST (FixtureInventory, EveryFixtureGivesTheReferenceInventory)
{
    std::set<std::string> overridden;

    for (const auto& row : readTsv (pluginsFolder.getChildFile ("expected-overrides.tsv")))
        overridden.insert (walkedPath (row[0]));

    // Wine's GetFileVersionInfo faults inside on these three (it trusts the
    // resource's data entry, which Windows' loader checks), so they cannot be
    // read under Wine. The fourth file Wine's version.dll faults on,
    // vs-wlength-huge.dll, stays: the program's padded block keeps
    // VerQueryValueA inside it.
    juce::StringArray leaveOut;

    if (isRunningUnderWine())
        leaveOut = { "malformed/data-entry-offset-outside.dll", "malformed/data-rva-past-eof.dll",
                     "malformed/data-size-huge.dll" };

    const auto actual = scanRows (leaveOut);

    if (auto* target = std::getenv ("COBALTLINE_WRITE_INVENTORY"))
    {
        std::ofstream out (target, std::ios::binary);

        for (const auto& row : actual)
            out << row << "\n";
    }

    std::set<std::string> expected;
    std::ifstream expectedFile (pluginsFolder.getChildFile ("expected-inventory.tsv").getFullPathName().toStdString(),
                                std::ios::binary);

    for (std::string line; std::getline (expectedFile, line);)
        if (! line.empty() && line[0] != '#' && ! leaveOut.contains (juce::String (pathOf (line))))
            expected.insert (line);

    ASSERT_GT (expected.size(), 100u);

   #if JUCE_WINDOWS
    // Only the files whose difference is known and explained may differ.
    const auto isExplained = [&overridden] (const std::string& row) { return overridden.count (pathOf (row)) > 0; };

    for (const auto& row : expected)
        if (! actual.count (row) && ! isExplained (row))
            ADD_FAILURE() << "the Windows calls give another result for: " << row;

    for (const auto& row : actual)
        if (! expected.count (row) && ! isExplained (row))
            ADD_FAILURE() << "not in the Linux inventory: " << row;
   #else
    EXPECT_EQ (actual, expected);
   #endif
}

TEST (FixtureInventory, PluginsInFoldersNamedOutsideAsciiAreRead)
{
    // "Café" fits the Windows ANSI code page, the Japanese name does not.
    TempFolder temp;
    const auto fixture = pluginsFolder.getChildFile ("version/table-040904e4.dll");

    for (const auto* folderName : { u8"Caf\u00e9", u8"\u30d7\u30e9\u30b0\u30a4\u30f3" })
    {
        const auto copy = temp[juce::CharPointer_UTF8 (folderName)].getChildFile ("Plugin.dll");
        ASSERT_TRUE (copy.getParentDirectory().createDirectory());
        ASSERT_TRUE (fixture.copyFileTo (copy));

        const auto info = PluginFileInfo::read (copy, copy.getSize());
        EXPECT_EQ (info.error, juce::String()) << copy.getFullPathName();
        EXPECT_EQ (info.name, juce::String ("Table E4 Product")) << copy.getFullPathName();
    }
}
