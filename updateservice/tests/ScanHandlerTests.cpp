// The scan rules in-process: ScanHandler, Accounts and the stores on a
// temporary database, with a clock the test moves.

#include "store/AccountStore.h"
#include "domain/Accounts.h"
#include "store/Catalog.h"
#include "store/ConnectionPool.h"
#include "store/Database.h"
#include "FullDisk.h"
#include "store/InventoryStore.h"
#include "mail/MailQueue.h"
#include "domain/ScanHandler.h"
#include "store/Schema.h"
#include "TestStore.h"
#include "ServiceProcess.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <stdexcept>

namespace
{
    const std::string password = "Passw0rd!";

    struct Plugin
    {
        std::string name, version, vendor = "Acme", path = "C:\\Plugins\\x.dll";
        std::optional<std::string> format = "VST";   ///< none: the row has no Format attribute
    };

    // The same plug-in in another format, or without a Format attribute.
    Plugin in (std::optional<std::string> format, Plugin plugin)
    {
        plugin.format = std::move (format);
        return plugin;
    }

    std::string inventoryXml (const std::string& machine, const std::vector<Plugin>& plugins)
    {
        std::string xml = "<MachineProfile MachineName=\"" + machine + "\" Platform=\"Win\">";

        for (const auto& p : plugins)
            xml += "<Plugin Name=\"" + p.name + "\" Version=\"" + p.version + "\" Vendor=\"" + p.vendor
                 + "\" Path=\"" + p.path + "\"" + (p.format ? " Format=\"" + *p.format + "\"" : std::string {})
                 + " Error=\"\"/>";

        return xml + "</MachineProfile>";
    }

    class NoMail : public MailSink
    {
    public:
        void deliver (std::string_view, std::string_view, std::string_view, std::time_t) override {}
    };

    class ScanHandlerTest : public ::testing::TestWithParam<Database::Kind>
    {
    protected:
        ScanHandlerTest()
        {
            Database db (databasePath());
            Schema::bringUpToDate (db);
        }

        std::string databasePath() const { return testStore.location(); }

        FullDisk disk;   ///< first, so every connection uses it
        TestStore testStore { GetParam() };

        // Each account scans from a network of its own unless told otherwise.
        void addAccount (const std::string& email, bool confirmed = true)
        {
            ASSERT_TRUE (accountStore.createAccount ({ email, email, hasher.hash (password), "A", "B", false, clock }));
            addressOf[email] = "10." + std::to_string (addressOf.size() + 1) + ".0.1";

            if (confirmed)
                confirm (email);
        }

        void confirm (const std::string& email)
        {
            const auto account = accountStore.findCredentials (email);
            ASSERT_EQ (account.size(), 1u);
            accountStore.issueConfirmation (account[0].accountId, PasswordHasher::digest (email), clock + 60);
            ASSERT_TRUE (accountStore.confirm (PasswordHasher::digest (email), clock).has_value());
        }

        Outcome scan (const std::string& email, const std::string& machine, const std::vector<Plugin>& plugins,
                      const std::string& client = {})
        {
            return scans.handle (email, password, inventoryXml (machine, plugins),
                                 client.empty() ? addressOf[email] : client);
        }

        // The update list as name -> offered version.
        std::map<std::string, std::string> offers (const std::string& email, const std::vector<Plugin>& plugins)
        {
            const auto outcome = scan (email, "Check", plugins);
            EXPECT_EQ (outcome.kind, Outcome::Kind::updateList) << outcome.text;
            std::map<std::string, std::string> offered;

            for (const auto& row : outcome.rows)
                offered[row.name] = row.currentVersion;

            return offered;
        }

        // The update list as "name format" -> offered version, the format
        // as the row was uploaded ("" for none).
        std::map<std::string, std::string> offersByFormat (const std::string& email, const std::vector<Plugin>& plugins)
        {
            const auto outcome = scan (email, "Check", plugins);
            EXPECT_EQ (outcome.kind, Outcome::Kind::updateList) << outcome.text;
            std::map<std::string, std::string> offered;

            for (const auto& row : outcome.rows)
                offered[row.name + " " + row.format] = row.currentVersion;

            return offered;
        }

        void importCatalog (const std::string& csv)
        {
            Database db (databasePath());
            const auto imported = Catalog::importCsv (db, csv);
            ASSERT_TRUE (imported.ok) << imported.error;
        }

        TemporaryFolder folder;
        ConnectionPool pool { databasePath() };
        AccountStore accountStore { pool };
        InventoryStore inventoryStore { pool };
        const PasswordHasher hasher { PasswordHasher::Strength::fast };
        NoMail mail;
        std::map<std::string, std::string> addressOf;
        std::int64_t clock = 1'800'000'000;
        Accounts accounts { accountStore, hasher, mail, Accounts::Settings {}, [this] { return clock; } };
        ScanHandler::Settings settings { {}, 3, 3 };
        ScanHandler scans { inventoryStore, accounts, settings, [this] { return clock; } };
    };

    //==============================================================================
    TEST_P (ScanHandlerTest, AVersionIsOfferedOnlyOnceEnoughAccountsHoldIt)
    {
        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com", "d@x.com" })
            addAccount (email);

        // One account alone cannot make up a version, however many machines
        // and rows it uses.
        ASSERT_EQ (scan ("a@x.com", "One", { { "Verb", "99.0" }, { "Verb", "99.0" } }).kind, Outcome::Kind::updateList);
        ASSERT_EQ (scan ("a@x.com", "Two", { { "VERB", "99.0" } }).kind, Outcome::Kind::updateList);
        EXPECT_TRUE (offers ("d@x.com", { { "Verb", "1.0" } }).empty());

        // Three accounts hold 2.0 or higher: 2.0 is what they all have.
        scan ("b@x.com", "PC", { { "Verb", "2.0" } });
        scan ("c@x.com", "PC", { { "verb", "2.5" } });
        EXPECT_EQ (offers ("d@x.com", { { "Verb", "1.0" } })["Verb"], "2.0");

        // A new scan with the same versions keeps its reports.
        scan ("b@x.com", "PC", { { "Verb", "2.0" }, { "Other", "1.0" } });
        EXPECT_EQ (offers ("d@x.com", { { "Verb", "1.0" } })["Verb"], "2.0");

        // A later scan without the high version withdraws that report.
        scan ("c@x.com", "PC", { { "Verb", "1.5" } });
        EXPECT_EQ (offers ("d@x.com", { { "Verb", "1.0" } })["Verb"], "1.5");
        scan ("c@x.com", "PC", { { "Other", "1.0" } });
        EXPECT_EQ (offers ("d@x.com", { { "Verb", "1.0" } }).count ("Verb"), 0u);
    }

    // Throw-away accounts cannot make up a version: reports count only from
    // confirmed accounts, and only from enough networks, as seen at upload.
    TEST_P (ScanHandlerTest, OnlyConfirmedAccountsFromEnoughNetworksCount)
    {
        addAccount ("d@x.com");

        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com" })
        {
            addAccount (email, false);
            ASSERT_EQ (scan (email, "PC", { { "Verb", "2.0" } }).kind, Outcome::Kind::updateList);
        }

        EXPECT_TRUE (offers ("d@x.com", { { "Verb", "1.0" } }).empty());

        // Confirming brings in the reports of the inventories they keep.
        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com" })
            confirm (email);

        EXPECT_EQ (offers ("d@x.com", { { "Verb", "1.0" } })["Verb"], "2.0");

        // Three confirmed accounts in one /24 count as one network.
        for (const auto* email : { "e@x.com", "f@x.com", "g@x.com" })
        {
            addAccount (email);
            scan (email, "PC", { { "Synth", "3.0" } }, "198.51.100." + std::to_string (email[0]));
        }

        EXPECT_EQ (offers ("d@x.com", { { "Synth", "1.0" } }).count ("Synth"), 0u);

        scan ("f@x.com", "PC", { { "Synth", "3.0" } }, "203.0.113.9");
        EXPECT_EQ (offers ("d@x.com", { { "Synth", "1.0" } }).count ("Synth"), 0u);
        scan ("g@x.com", "PC", { { "Synth", "3.0" } }, "2001:db8:5::1");
        EXPECT_EQ (offers ("d@x.com", { { "Synth", "1.0" } })["Synth"], "3.0");
    }

    // A version whose first number is more than one above the highest
    // version known otherwise (the catalog's, or one established below it)
    // is held back, and lifts the bar for no other.
    TEST_P (ScanHandlerTest, ReportsFarDownTheListStillCount)
    {
        addAccount ("d@x.com");

        // More accounts than the store reads at once, all from one network:
        // their group stays open for want of networks.
        for (int i = 0; i < 130; ++i)
        {
            const auto email = "crowd" + std::to_string (i) + "@x.com";
            addAccount (email);
            ASSERT_EQ (scan (email, "PC", { { "Verb", "5.0" } }, "198.51.100.7").kind, Outcome::Kind::updateList);
        }

        EXPECT_TRUE (offers ("d@x.com", { { "Verb", "1.0" } }).empty());

        // Two accounts of other networks below them close the group.
        for (const auto* email : { "b@x.com", "c@x.com" })
        {
            addAccount (email);
            ASSERT_EQ (scan (email, "PC", { { "Verb", "4.0" } }).kind, Outcome::Kind::updateList);
        }

        EXPECT_EQ (offers ("d@x.com", { { "Verb", "1.0" } })["Verb"], "4.0");
    }

    TEST_P (ScanHandlerTest, AVersionFarAboveTheKnownOnesIsHeldBack)
    {
        {
            Database db (databasePath());
            ASSERT_TRUE (Catalog::importCsv (db, "Name,Vendor,Format,Version,Website\nSynth,Acme,VST,2.5,\n").ok);
        }

        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com", "e@x.com", "f@x.com", "g@x.com", "h@x.com",
                                   "i@x.com", "j@x.com", "d@x.com" })
            addAccount (email);

        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com" })
            scan (email, "PC", { { "Synth", "99.0" }, { "Pad", "99.0" } });

        EXPECT_EQ (offers ("d@x.com", { { "Synth", "1.0" } })["Synth"], "2.5");

        for (const auto* email : { "e@x.com", "f@x.com", "g@x.com" })
            scan (email, "PC", { { "Synth", "98.0" } });

        EXPECT_EQ (offers ("d@x.com", { { "Synth", "1.0" } })["Synth"], "2.5");

        // One first number up from the catalog may be offered; without a
        // catalog row the lowest established version is the bar.
        for (const auto* email : { "h@x.com", "i@x.com", "j@x.com" })
            scan (email, "PC", { { "Synth", "3.1" }, { "Pad", "2.5" } });

        const auto offered = offers ("d@x.com", { { "Synth", "1.0" }, { "Pad", "1.0" } });
        EXPECT_EQ (offered.at ("Synth"), "3.1");
        EXPECT_EQ (offered.at ("Pad"), "2.5");
    }

    // The full disk is SQLite's: a file system shim under its files.
    class ScanHandlerOnAFullDiskTest : public ScanHandlerTest
    {
    };

    INSTANTIATE_TEST_SUITE_P (Stores, ScanHandlerOnAFullDiskTest, ::testing::Values (Database::Kind::sqlite),
                              TestStore::nameOf);

    TEST_P (ScanHandlerOnAFullDiskTest, SaysSoAndKeepsWhatWasStored)
    {
        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com" })
        {
            addAccount (email);
            ASSERT_EQ (scan (email, "PC", { { "Verb", "2.0" } }).kind, Outcome::Kind::updateList);
        }

        disk.full = true;
        const auto refused = scan ("a@x.com", "PC", { { "Verb", "1.0" } });
        EXPECT_EQ (refused.kind, Outcome::Kind::errors);
        EXPECT_EQ (refused.title, "Service Out of Room");

        // The machine kept the inventory it had: three accounts still hold 2.0.
        disk.full = false;
        EXPECT_EQ (offers ("c@x.com", { { "Verb", "1.0" } })["Verb"], "2.0");
    }

    TEST_P (ScanHandlerTest, OverlongVersionsAreNotLearnedFrom)
    {
        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com", "d@x.com" })
            addAccount (email);

        const std::string overlong = "9." + std::string (InventoryStore::maxLearnedVersionBytes, '9');

        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com" })
            ASSERT_EQ (scan (email, "PC", { { "Verb", overlong }, { "Long", "9." + std::string (62, '9') } }).kind,
                       Outcome::Kind::updateList);

        const auto offered = offers ("d@x.com", { { "Verb", "1.0" }, { "Long", "1.0" } });
        EXPECT_EQ (offered.count ("Verb"), 0u);
        EXPECT_EQ (offered.count ("Long"), 1u);
    }

    TEST_P (ScanHandlerTest, AnAccountKeepsALimitedNumberOfMachines)
    {
        addAccount ("many@x.com");

        for (const auto* machine : { "M1", "M2", "M3" })
            ASSERT_EQ (scan ("many@x.com", machine, { { "Verb", "1.0" } }).kind, Outcome::Kind::updateList);

        const auto refused = scan ("many@x.com", "M4", { { "Verb", "1.0" } });
        EXPECT_EQ (refused.kind, Outcome::Kind::errors);
        EXPECT_EQ (refused.title, "Too Many Machines");
        EXPECT_NE (refused.text.find ("3 machines"), std::string::npos);

        // Known machines are still scanned, and keep their plug-ins whole.
        ASSERT_EQ (scan ("many@x.com", "M2", { { "Verb", "1.1", "Acme", "C:\\VST\\verb.dll" },
                                               { "Comp", "2.0", "Acme", "/Library/Audio/comp.vst" } }).kind,
                   Outcome::Kind::updateList);

        Database db (databasePath());
        Database::Statement m2 (db, "SELECT id FROM machine WHERE machine_name = 'M2'");
        ASSERT_TRUE (m2.step());
        const auto stored = InventoryStore::readPlugins (db, m2.columnInt (0));
        ASSERT_EQ (stored.size(), 2u);
        EXPECT_EQ (stored[0].name, "Verb");
        EXPECT_EQ (stored[0].path, "C:\\VST\\verb.dll");
        EXPECT_EQ (stored[1].version, "2.0");
        EXPECT_EQ (stored[1].path, "/Library/Audio/comp.vst");

        Database::Statement machines (db, "SELECT COUNT(*) FROM machine");
        ASSERT_TRUE (machines.step());
        EXPECT_EQ (machines.columnInt (0), 3);
    }

    //==============================================================================
    // Formats: a release of one format is no update for a row of another,
    // in the catalog and in what the crowd reports. A row without a Format
    // (older programs scanned VST only) is a VST row.

    TEST_P (ScanHandlerTest, ACatalogReleaseIsOfferedOnlyToRowsOfItsFormat)
    {
        importCatalog ("Name,Vendor,Format,Version,Website\n"
                       "Synth,Acme,VST,2.5,https://example.com/vst\n"
                       "Synth,Acme,VST3,3.0,https://example.com/vst3\n"
                       "Clapper,Acme,CLAP,1.1,\n");
        addAccount ("d@x.com");

        const auto offered = offersByFormat ("d@x.com", {
            { "Synth", "2.0" }, in ("VST3", { "Synth", "2.0" }), in ("CLAP", { "Synth", "1.0" }),
            in ("AAX", { "Clapper", "1.0" }), in ("CLAP", { "Clapper", "1.0" }) });

        EXPECT_EQ (offered, (std::map<std::string, std::string> {
            { "Synth VST", "2.5" }, { "Synth VST3", "3.0" }, { "Clapper CLAP", "1.1" } }));

        // A VST row above the VST release is not offered the higher VST3
        // one, nor a VST3 row above the VST3 release the VST one.
        EXPECT_TRUE (offersByFormat ("d@x.com", { { "Synth", "2.6" } }).empty());
        EXPECT_TRUE (offersByFormat ("d@x.com", { in ("VST3", { "Synth", "3.0" }) }).empty());

        const auto outcome = scan ("d@x.com", "Check", { in ("vst3", { "Synth", "2.0" }) });
        ASSERT_EQ (outcome.rows.size(), 1u);
        EXPECT_EQ (outcome.rows[0].currentVersion, "3.0");
        EXPECT_EQ (outcome.rows[0].format, "vst3");   // as uploaded
        EXPECT_EQ (outcome.rows[0].website, "https://example.com/vst3");
    }

    TEST_P (ScanHandlerTest, ARowWithoutAFormatIsAVstRowAndAnUnknownFormatMatchesNoOther)
    {
        importCatalog ("Name,Vendor,Format,Version,Website\nSynth,Acme,VST,2.5,\nSynth,Acme,VST3,3.0,\n");
        addAccount ("d@x.com");

        EXPECT_EQ (offersByFormat ("d@x.com", { in (std::nullopt, { "Synth", "2.0" }) }),
                   (std::map<std::string, std::string> { { "Synth ", "2.5" } }));
        EXPECT_EQ (offersByFormat ("d@x.com", { in ("", { "Synth", "2.0" }) }),
                   (std::map<std::string, std::string> { { "Synth ", "2.5" } }));
        EXPECT_TRUE (offersByFormat ("d@x.com", { in ("LV2", { "Synth", "1.0" }),
                                                  in (" VST", { "Synth", "1.0" }) }).empty());
    }

    TEST_P (ScanHandlerTest, CrowdReportsCountOnlyTowardTheirOwnFormat)
    {
        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com", "d@x.com" })
            addAccount (email);

        // Three accounts hold the VST3 build 2.0: no VST row learns of it.
        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com" })
            scan (email, "PC", { in ("VST3", { "Verb", "2.0" }) });

        EXPECT_TRUE (offersByFormat ("d@x.com", { { "Verb", "1.0" }, in (std::nullopt, { "Verb", "1.0" }) }).empty());
        EXPECT_EQ (offersByFormat ("d@x.com", { in ("VST3", { "Verb", "1.0" }) })["Verb VST3"], "2.0");

        // They also hold the VST build 1.5, two of them from programs that
        // send no format: each format's highest version is reported.
        scan ("a@x.com", "PC", { in ("VST3", { "Verb", "2.0" }), { "Verb", "1.5" } });
        scan ("b@x.com", "PC", { in ("VST3", { "Verb", "2.0" }), in (std::nullopt, { "Verb", "1.5" }) });
        scan ("c@x.com", "PC", { in ("VST3", { "Verb", "2.0" }), in ("", { "Verb", "1.6" }) });

        const auto offered = offersByFormat ("d@x.com", { { "Verb", "1.0" }, in ("VST3", { "Verb", "1.0" }) });
        EXPECT_EQ (offered.at ("Verb VST"), "1.5");
        EXPECT_EQ (offered.at ("Verb VST3"), "2.0");

        // A later scan without the VST3 build withdraws only that report.
        scan ("c@x.com", "PC", { { "Verb", "1.6" } });
        const auto after = offersByFormat ("d@x.com", { { "Verb", "1.0" }, in ("VST3", { "Verb", "1.0" }) });
        EXPECT_EQ (after.at ("Verb VST"), "1.5");
        EXPECT_EQ (after.count ("Verb VST3"), 0u);
    }

    // The first-number ceiling is the catalog's of the same format: a high
    // VST3 release lifts no bar for VST reports.
    TEST_P (ScanHandlerTest, TheFirstNumberCeilingComparesWithinOneFormat)
    {
        importCatalog ("Name,Vendor,Format,Version,Website\nSynth,Acme,VST,2.5,\nSynth,Acme,VST3,5.0,\n");

        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com", "d@x.com" })
            addAccount (email);

        for (const auto* email : { "a@x.com", "b@x.com", "c@x.com" })
            scan (email, "PC", { { "Synth", "6.0" }, in ("VST3", { "Synth", "6.0" }) });

        const auto offered = offersByFormat ("d@x.com", { { "Synth", "1.0" }, in ("VST3", { "Synth", "1.0" }) });
        EXPECT_EQ (offered.at ("Synth VST"), "2.5");
        EXPECT_EQ (offered.at ("Synth VST3"), "6.0");
    }

    //==============================================================================
    TEST (MailQueue, RunsEveryTaskAndReportsFailures)
    {
        std::vector<std::string> done, failures;

        {
            MailQueue queue ([&failures] (const std::string& what) { failures.push_back (what); }, {}, 2);
            queue.post ([&done] { done.push_back ("a"); });
            queue.flush();
            EXPECT_EQ (done, std::vector<std::string> { "a" });

            queue.post ([] { throw std::runtime_error ("disk full"); });
            queue.flush();
            EXPECT_EQ (failures, std::vector<std::string> { "disk full" });

            queue.post ([&done] { done.push_back ("b"); });
            queue.post ([&done] { done.push_back ("c"); });
            // The destructor runs what is still waiting.
        }

        EXPECT_EQ (done, (std::vector<std::string> { "a", "b", "c" }));
    }

    COBALTLINE_ON_BOTH_STORES (ScanHandlerTest);
}
