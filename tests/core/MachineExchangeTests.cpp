#include "core/exchange/MachineExport.h"
#include "core/exchange/MachineImport.h"
#include "core/exchange/ProfileComparison.h"
#include "core/inventory/ScanReport.h"
#include "core/xml/SafeXml.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace
{
    PluginRow plugin (const juce::String& name, const juce::String& vendor, const juce::String& format,
                      const juce::String& version, const juce::String& path = {})
    {
        PluginRow row;
        row.name = name;
        row.vendor = vendor;
        row.format = format;
        row.installedVersion = version;
        row.path = path;
        return row;
    }

    /** Stores a machine's inventory and update list as the scan would. */
    void storeMachine (const SettingsStore& settings, const juce::String& machine,
                       const std::vector<PluginRow>& plugins, const std::vector<PluginRow>& updates,
                       const std::vector<std::pair<juce::String, juce::String>>& profileAttributes = {})
    {
        juce::XmlElement profile ("MachineProfile");
        profile.setAttribute ("MachineName", machine);

        for (const auto& [name, value] : profileAttributes)
            profile.setAttribute (name, value);

        for (const auto& row : plugins)
            profile.addChildElement (new juce::XmlElement (row.toInventoryElement()));

        juce::XmlElement list ("UpdateList");

        for (const auto& row : updates)
        {
            auto* element = list.createNewChildElement ("Plugin");
            element->setAttribute ("Name", row.name);
            element->setAttribute ("Vendor", row.vendor);
            element->setAttribute ("Format", row.format);
            element->setAttribute ("InstalledVersion", row.installedVersion);
            element->setAttribute ("CurrentVersion", row.latestVersion);
            element->setAttribute ("Website", row.website);
            element->setAttribute ("ID", row.id);
        }

        ASSERT_TRUE (SettingsStore::writeDocument (profile, settings.getMachineFile (machine, SettingsStore::inventorySuffix)));
        ASSERT_TRUE (SettingsStore::writeDocument (list, settings.getMachineFile (machine, SettingsStore::updateListSuffix)));
    }

    void expectSameRows (const std::vector<PluginRow>& actual, const std::vector<PluginRow>& expected)
    {
        ASSERT_EQ (actual.size(), expected.size());

        for (size_t i = 0; i < actual.size(); ++i)
        {
            const auto& a = actual[i];
            const auto& e = expected[i];
            EXPECT_TRUE (a.name == e.name && a.vendor == e.vendor && a.format == e.format
                         && a.installedVersion == e.installedVersion && a.latestVersion == e.latestVersion
                         && a.website == e.website && a.path == e.path && a.error == e.error && a.id == e.id)
                << "row " << i << ": " << a.name << " / " << e.name;
        }
    }

    juce::StringArray texts (std::initializer_list<juce::String> list)
    {
        juce::StringArray array;

        for (const auto& text : list)
            array.add (text);

        return array;
    }

    /** Every control character, some non-ASCII text and XML's own characters. */
    juce::String awkwardText()
    {
        juce::String text;

        for (juce::juce_wchar c = 1; c < 0x20; ++c)
            text += c;

        return text + juce::String::fromUTF8 (" <&\"'> caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb9 ");
    }

    /** RFC 4180 records of a document, for reading an export back. */
    std::vector<juce::StringArray> parseCsv (const juce::String& text)
    {
        std::vector<juce::StringArray> records (1);
        juce::String cell;
        bool quoted = false;

        for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        {
            const auto c = *p;

            if (quoted)
            {
                if (c != '"')                  cell += c;
                else if (*(p + 1) == '"')      { cell += c; ++p; }
                else                           quoted = false;
            }
            else if (c == '"')                 quoted = true;
            else if (c == ',')                 { records.back().add (cell); cell.clear(); }
            else if (c == '\r' && *(p + 1) == '\n')
            {
                records.back().add (cell);
                cell.clear();
                records.emplace_back();
                ++p;
            }
            else                               cell += c;
        }

        if (records.back().isEmpty() && cell.isEmpty())
            records.pop_back();   // the last line's CR LF
        else
            records.back().add (cell);

        return records;
    }

    struct StudioMachine
    {
        TestContext test;
        std::vector<PluginRow> plugins, updates;

        StudioMachine()
        {
            auto synth = plugin (awkwardText(), "Vendor", "VST3", "1.2", "/plugins/a b.vst3");
            synth.error = "none";

            plugins = { synth,
                        plugin ("=HYPERLINK(\"x\")", "-Vendor,Inc", "VST", "2.0", "/plugins/f.dll"),
                        plugin ("Plain", "V", "AU", "3.01") };

            auto update = plugin (awkwardText(), "Vendor", "VST3", "1.2");
            update.latestVersion = "1.5";
            update.website = "https://example.com/?a=1&b=\"2\"";
            update.id = "17";
            auto otherFormat = plugin ("Plain", "V", "VST", "3.01");   // not the AU's update
            otherFormat.latestVersion = "9.0";
            updates = { update, otherFormat };

            storeMachine (test.settings, "Studio", plugins, updates,
                          { { "Platform", "Linux" }, { "Email", "a@b.c" }, { "Password", "secret" } });
        }
    };
}

TEST (MachineExport, KindsFollowTheExtensionInAnyCase)
{
    EXPECT_EQ (MachineExport::kindOf (juce::File ("/x/a.CSV")), MachineExport::Kind::csv);
    EXPECT_EQ (MachineExport::kindOf (juce::File ("/x/a.Json")), MachineExport::Kind::json);
    EXPECT_EQ (MachineExport::kindOf (juce::File ("/x/a.json.txt")), MachineExport::Kind::cobaltline);

    EXPECT_EQ (MachineExport::withExtension (juce::File ("/x/Studio")), juce::File ("/x/Studio.cobaltline"));
    EXPECT_EQ (MachineExport::withExtension (juce::File ("/x/Studio.v2")), juce::File ("/x/Studio.v2.cobaltline"));
    EXPECT_EQ (MachineExport::withExtension (juce::File ("/x/Studio.CSV")), juce::File ("/x/Studio.CSV"));
}

TEST (MachineExport, AProfileReadsBackWithExactlyTheSameRowsAndNoCredentials)
{
    StudioMachine machines;
    const auto target = machines.test.temp["Studio.cobaltline"];

    ASSERT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", target), MachineExport::Outcome::written);

    const auto imported = MachineImport::read (target);
    ASSERT_EQ (imported.problem, MachineImport::Problem::none);
    EXPECT_EQ (imported.snapshot.machineName, juce::String ("Studio"));

    const auto stored = MachineImport::thisMachine (machines.test.settings, "Studio");
    expectSameRows (stored.plugins, machines.plugins);
    expectSameRows (imported.snapshot.plugins, stored.plugins);
    expectSameRows (imported.snapshot.updates, stored.updates);

    // The machine's attributes travel as they are, but never an account's.
    const auto document = SafeXml::parseFile (target, MachineImport::maxFileBytes);
    ASSERT_NE (document, nullptr);
    EXPECT_EQ (document->getStringAttribute ("FormatVersion"), juce::String ("1"));
    const auto* profile = document->getChildByName ("MachineProfile");
    ASSERT_NE (profile, nullptr);
    EXPECT_EQ (profile->getStringAttribute ("Platform"), juce::String ("Linux"));
    EXPECT_FALSE (readText (target).containsIgnoreCase ("secret"));
    EXPECT_FALSE (readText (target).containsIgnoreCase ("a@b.c"));

    // An "Errors" reply contributes no update rows.
    machines.test.settings.getMachineFile ("Studio", SettingsStore::updateListSuffix)
        .replaceWithText ("<Errors ErrorTitle=\"Busy\" ErrorText=\"Later\"/>");
    ASSERT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", target), MachineExport::Outcome::written);
    EXPECT_TRUE (MachineImport::read (target).snapshot.updates.empty());
}

TEST (MachineExport, CsvHasOneQuotedSafeRowPerPluginWithItsUpdate)
{
    StudioMachine machines;
    const auto target = machines.test.temp["Studio.CSV"];

    ASSERT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", target), MachineExport::Outcome::written);

    const auto bytes = readBytes (target);
    ASSERT_GE (bytes.getSize(), 3u);
    EXPECT_EQ (std::memcmp (bytes.getData(), "\xef\xbb\xbf", 3), 0);

    const auto text = juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()) + 3, (int) bytes.getSize() - 3);
    EXPECT_EQ (text, MachineExport::toCsv (machines.plugins, machines.updates));
    EXPECT_TRUE (text.endsWith ("\r\n"));

    const auto records = parseCsv (text);
    ASSERT_EQ (records.size(), 4u);
    EXPECT_EQ (records[0].joinIntoString ("|"), juce::String ("Name|Vendor|Format|Installed Version|Latest Version|Website|Path"));

    // Control characters, quotes and line ends stay as they are, inside quotes.
    EXPECT_EQ (records[1], texts ({ awkwardText(), "Vendor", "VST3", "1.2", "1.5",
                                                "https://example.com/?a=1&b=\"2\"", "/plugins/a b.vst3" }));
    EXPECT_EQ (records[2], texts ({ "'=HYPERLINK(\"x\")", "'-Vendor,Inc", "VST", "2.0", "", "", "/plugins/f.dll" }));
    EXPECT_EQ (records[3], texts ({ "Plain", "V", "AU", "3.01", "", "", "" }));

    EXPECT_EQ (MachineExport::csvCell (""), juce::String());
    EXPECT_EQ (MachineExport::csvCell ("a\"b"), juce::String ("\"a\"\"b\""));
    EXPECT_EQ (MachineExport::csvCell ("a\nb"), juce::String ("\"a\nb\""));
    EXPECT_EQ (MachineExport::csvCell ("+1"), juce::String ("'+1"));
    EXPECT_EQ (MachineExport::csvCell ("\tx"), juce::String ("'\tx"));
    EXPECT_EQ (MachineExport::csvCell ("\rx"), juce::String ("\"'\rx\""));
    EXPECT_EQ (MachineExport::csvCell ("x=1"), juce::String ("x=1"));
}

TEST (MachineExport, JsonIsTheScannersDocument)
{
    StudioMachine machines;
    const auto target = machines.test.temp["Studio.json"];

    ASSERT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", target), MachineExport::Outcome::written);
    EXPECT_EQ (readText (target), ScanReport::toJson (machines.test.settings, "Studio"));
}

TEST (MachineExport, WithoutAnInventoryNothingIsExportedAndTheTargetStays)
{
    TestContext test;
    const auto target = test.temp["Studio.cobaltline"];
    target.replaceWithText ("earlier");
    const auto inventory = test.settings.getMachineFile ("Studio", SettingsStore::inventorySuffix);

    EXPECT_EQ (MachineExport::exportTo (test.settings, "Studio", target), MachineExport::Outcome::nothingToExport);
    ASSERT_TRUE (inventory.create());
    EXPECT_EQ (MachineExport::exportTo (test.settings, "Studio", target), MachineExport::Outcome::nothingToExport);

    for (const auto* content : { "<MachineProfile><Plugin Name=\"x\"", "not xml at all", "<UpdateList/>" })
    {
        ASSERT_TRUE (inventory.replaceWithText (content));
        EXPECT_EQ (MachineExport::exportTo (test.settings, "Studio", target), MachineExport::Outcome::nothingToExport) << content;
    }

    EXPECT_EQ (MachineExport::exportTo (test.settings, "../Studio", target), MachineExport::Outcome::nothingToExport);
    EXPECT_EQ (readText (target), juce::String ("earlier"));

    const auto alert = MachineExport::makeAlert (MachineExport::Outcome::nothingToExport, target);
    EXPECT_EQ (alert.title, juce::String ("Nothing to Export"));
    EXPECT_TRUE (alert.message.contains ("Scan"));
    EXPECT_EQ (alert.icon, AlertIcon::warning);
    ASSERT_EQ (alert.buttons.size(), 1u);
}

TEST (MachineExport, AnUnwritablePlaceReportsFailureAndLeavesWhatWasThere)
{
    StudioMachine machines;
    auto& temp = machines.test.temp;

    temp["not-a-folder"].replaceWithText ("x");
    const auto inFile = temp["not-a-folder"].getChildFile ("Studio.csv");
    EXPECT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", inFile), MachineExport::Outcome::notWritten);
    EXPECT_EQ (readText (temp["not-a-folder"]), juce::String ("x"));
    EXPECT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", juce::File()), MachineExport::Outcome::notWritten);

    // Wine's ReplaceFile puts a file in place of a whole folder, where Windows refuses.
    if (! isRunningUnderWine())
    {
        const auto out = temp["out"];
        out.getChildFile ("Studio.cobaltline").createDirectory();
        out.getChildFile ("Studio.cobaltline/keep.txt").replaceWithText ("kept");

        EXPECT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", out.getChildFile ("Studio.cobaltline")),
                   MachineExport::Outcome::notWritten);
        EXPECT_EQ (readText (out.getChildFile ("Studio.cobaltline/keep.txt")), juce::String ("kept"));
        EXPECT_EQ (out.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1) << "no temporary file is left behind";
    }

    const auto alert = MachineExport::makeAlert (MachineExport::Outcome::notWritten, inFile);
    EXPECT_EQ (alert.title, juce::String ("Export Failed"));
    EXPECT_TRUE (alert.message.contains (inFile.getFullPathName()));
    EXPECT_TRUE (MachineExport::makeAlert (MachineExport::Outcome::written, inFile).buttons.empty());
}

TEST (MachineImport, BadFilesAreRefusedWithTheirReason)
{
    using Problem = MachineImport::Problem;

    StudioMachine machines;
    auto& temp = machines.test.temp;
    const auto good = temp["good.cobaltline"];
    ASSERT_EQ (MachineExport::exportTo (machines.test.settings, "Studio", good), MachineExport::Outcome::written);

    const auto problemOf = [&temp] (const juce::String& content)
    {
        const auto file = temp["bad.cobaltline"];
        file.deleteFile();
        file.create();   // replacing it with no text would leave no file

        if (content.isNotEmpty())
            file.replaceWithText (content);

        return MachineImport::read (file).problem;
    };

    EXPECT_EQ (problemOf (readText (machines.test.settings.getMachineFile ("Studio", SettingsStore::inventorySuffix))),
               Problem::notAnExport);
    EXPECT_EQ (problemOf ("{\"machine\":{}}"), Problem::damaged);
    EXPECT_EQ (problemOf (readText (good).substring (0, (int) good.getSize() / 2)), Problem::damaged);
    EXPECT_EQ (problemOf ("<CobaltlineExport><MachineProfile/></CobaltlineExport>"), Problem::damaged);
    EXPECT_EQ (problemOf ("<CobaltlineExport FormatVersion=\"one\"><MachineProfile/></CobaltlineExport>"), Problem::damaged);
    EXPECT_EQ (problemOf ("<CobaltlineExport FormatVersion=\"1\"><UpdateList/></CobaltlineExport>"), Problem::damaged);
    EXPECT_EQ (problemOf ("<CobaltlineExport FormatVersion=\"2\"><Future/></CobaltlineExport>"), Problem::newerFormat);
    EXPECT_EQ (problemOf ("<CobaltlineExport FormatVersion=\"99999999999999999999\"/>"), Problem::newerFormat);
    EXPECT_EQ (problemOf ("<!DOCTYPE CobaltlineExport [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                          "<CobaltlineExport FormatVersion=\"1\"><MachineProfile MachineName=\"&b;\"/></CobaltlineExport>"),
               Problem::damaged);
    EXPECT_EQ (problemOf (""), Problem::damaged);
    EXPECT_EQ (MachineImport::read (temp["missing.cobaltline"]).problem, Problem::unreadable);
    EXPECT_EQ (MachineImport::read (temp.get()).problem, Problem::unreadable);

    const auto huge = temp["huge.cobaltline"];
    ASSERT_TRUE (huge.replaceWithText ("<CobaltlineExport FormatVersion=\"1\">"));
    std::filesystem::resize_file (huge.getFullPathName().toStdString(), (std::uintmax_t) MachineImport::maxFileBytes + 1);
    EXPECT_EQ (MachineImport::read (huge).problem, Problem::tooLarge);

    for (const auto problem : { Problem::unreadable, Problem::tooLarge, Problem::notAnExport, Problem::damaged, Problem::newerFormat })
    {
        const auto alert = MachineImport::makeAlert (problem, huge);
        EXPECT_EQ (alert.title, juce::String ("Import Failed"));
        EXPECT_TRUE (alert.message.contains (huge.getFullPathName()));
        EXPECT_EQ (alert.icon, AlertIcon::warning);
    }

    EXPECT_TRUE (MachineImport::makeAlert (Problem::newerFormat, huge).message.contains ("newer version of Cobaltline"));
}

TEST (ProfileComparison, TwoExportedMachinesFallIntoAllFiveGroups)
{
    TestContext test;
    const auto uberHere = juce::String::fromUTF8 ("\xc3\x9c" "ber");
    const auto uberThere = juce::String::fromUTF8 ("\xc3\xbc" "ber");

    auto alphaThere = plugin ("Alpha", "V", "VST3", "1.0");
    alphaThere.website = "";
    auto alphaSite = plugin ("alpha", "v", "vst3", "1.0");
    alphaSite.website = "https://there/alpha";
    auto gammaHere = plugin ("Gamma", "V", "AU", "1.10");
    gammaHere.website = "https://here/gamma";
    auto gammaThere = gammaHere;
    gammaThere.website = "https://there/gamma";

    storeMachine (test.settings, "Studio",
                  { plugin ("Alpha", "V", "VST3", "1.0", "/s/alpha"),
                    plugin ("Beta", "V", "VST", "1.5", "/s/beta-old"),
                    plugin ("beta", "v", "VST", "3.0", "/s/beta"),
                    plugin ("Gamma", "V", "AU", "1.10", "/s/gamma"),
                    plugin ("Delta", "V", "VST", "1.0", "/s/delta"),
                    plugin (uberHere, "V", "VST", "1.0", "/s/uber") },
                  { alphaThere, gammaHere });
    storeMachine (test.settings, "Laptop",
                  { plugin ("ALPHA", "v", "vst3", "2.0", "/l/alpha"),
                    plugin ("BETA", "V", "vst", "2.9", "/l/beta"),
                    plugin ("Gamma", "V", "AU", "1.1", "/l/gamma"),
                    plugin ("Epsilon", "V", "VST", "1.0", "/l/epsilon"),
                    plugin ("Epsilon", "V", "VST", "1.2", "/l/epsilon2"),
                    plugin (uberThere, "V", "VST", "1.0", "/l/uber") },
                  { alphaSite, gammaThere });

    const auto file = test.temp["Laptop.cobaltline"];
    ASSERT_EQ (MachineExport::exportTo (test.settings, "Laptop", file), MachineExport::Outcome::written);
    const auto there = MachineImport::read (file);
    ASSERT_EQ (there.problem, MachineImport::Problem::none);

    const auto result = ProfileComparison::compare (MachineImport::thisMachine (test.settings, "Studio"), there.snapshot);

    EXPECT_EQ (result.counts, (std::array<int, 5> { 2, 2, 1, 1, 1 }));
    ASSERT_EQ (result.rows.size(), 7u);

    juce::StringArray seen;

    for (const auto& row : result.rows)
        seen.add (row.name + "|" + row.installedVersion + "|" + row.latestVersion + "|" + row.remark + "|" + row.path + "|" + row.website);

    EXPECT_EQ (seen, texts ({ "Alpha|1.0|2.0|Older here|/s/alpha|https://there/alpha",
                                          "beta|3.0|2.9|Newer here|/s/beta|",
                                          "Delta|1.0||Missing there|/s/delta|",
                                          "Epsilon||1.2|Missing here|/l/epsilon2|",
                                          "Gamma|1.10|1.1|Same|/s/gamma|https://here/gamma",
                                          uberHere + "|1.0||Missing there|/s/uber|",
                                          uberThere + "||1.0|Missing here|/l/uber|" }));
}

TEST (ProfileComparison, ThousandsOfPluginsCompareQuickly)
{
    MachineSnapshot here, there;

    for (int i = 0; i < 5000; ++i)
    {
        here.plugins.push_back (plugin ("Plug-in " + juce::String (i), "Vendor", "VST3", "1." + juce::String (i % 7)));
        there.plugins.push_back (plugin ("PLUG-IN " + juce::String (i + 2500), "vendor", "vst3", "1.3"));
        there.updates.push_back (plugin ("Plug-in " + juce::String (i), "Vendor", "VST3", "1.0"));
    }

    const auto started = juce::Time::getMillisecondCounterHiRes();
    const auto result = ProfileComparison::compare (here, there);
    const auto elapsed = juce::Time::getMillisecondCounterHiRes() - started;

    EXPECT_EQ (result.rows.size(), 7500u);
    EXPECT_EQ (result.counts[(size_t) ProfileComparison::Group::missingHere], 2500);
    EXPECT_LT (elapsed, 500.0);
}
