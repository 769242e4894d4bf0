#include "store/ConnectionPool.h"
#include "store/Database.h"
#include "store/InventoryStore.h"
#include "store/Schema.h"
#include "ServiceProcess.h"
#include "TestStore.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

namespace
{
    class SchemaTest : public ::testing::Test
    {
    protected:
        std::int64_t number (const char* sql)
        {
            Database::Statement query (db, sql);
            query.step();
            return query.columnInt (0);
        }

        TemporaryFolder folder;
        Database db { (folder.path() / "schema.db").string() };
    };

    TEST_F (SchemaTest, ANewDatabaseGetsEveryTableAndTheCurrentVersion)
    {
        ASSERT_EQ (Schema::versionOf (db), 0);
        Schema::bringUpToDate (db);

        EXPECT_EQ (Schema::versionOf (db), Schema::currentVersion);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN ('account', "
                           "'login_attempt', 'rate_bucket', 'reset_code', 'machine', 'plugin', 'plugin_list', "
                           "'catalog', 'confirmation')"), 9);

        // Once up to date, nothing is done again.
        Schema::bringUpToDate (db);
        EXPECT_EQ (Schema::versionOf (db), Schema::currentVersion);
    }

    // The tables of version 1 as that version made them, with rows.
    void makeVersion1 (Database& db)
    {
        db.execute (R"sql(
            CREATE TABLE account (id INTEGER PRIMARY KEY, email TEXT NOT NULL, email_key TEXT NOT NULL UNIQUE,
                password_hash TEXT NOT NULL, first_name TEXT NOT NULL, last_name TEXT NOT NULL,
                is_developer INTEGER NOT NULL, created_at INTEGER NOT NULL);
            CREATE TABLE login_failure (email_key TEXT NOT NULL, at INTEGER NOT NULL);
            CREATE TABLE reset_code (id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, code_hash BLOB NOT NULL,
                created_at INTEGER NOT NULL, expires_at INTEGER NOT NULL, used_at INTEGER);
            CREATE TABLE machine (id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, machine_name TEXT NOT NULL,
                platform TEXT NOT NULL, platform_string TEXT NOT NULL, cpu_vendor TEXT NOT NULL,
                cpu_speed TEXT NOT NULL, supports_64bit TEXT NOT NULL, ram TEXT NOT NULL, has_sse1 TEXT NOT NULL,
                has_sse2 TEXT NOT NULL, has_mmx TEXT NOT NULL, has_3dnow TEXT NOT NULL,
                display_language TEXT NOT NULL, user_language TEXT NOT NULL, region TEXT NOT NULL,
                profile_time TEXT NOT NULL, uploaded_at INTEGER NOT NULL, UNIQUE (account_id, machine_name));
            CREATE TABLE plugin (machine_id INTEGER NOT NULL, position INTEGER NOT NULL, name TEXT NOT NULL,
                version TEXT NOT NULL, vendor TEXT NOT NULL, path TEXT NOT NULL, format TEXT NOT NULL,
                error TEXT NOT NULL, PRIMARY KEY (machine_id, position)) WITHOUT ROWID;
            CREATE TABLE known_version (name_key TEXT NOT NULL, vendor_key TEXT NOT NULL, version TEXT NOT NULL,
                PRIMARY KEY (name_key, vendor_key)) WITHOUT ROWID;
            CREATE TABLE catalog (name_key TEXT NOT NULL, vendor_key TEXT NOT NULL, format_key TEXT NOT NULL,
                name TEXT NOT NULL, vendor TEXT NOT NULL, format TEXT NOT NULL, version TEXT NOT NULL,
                website TEXT NOT NULL, PRIMARY KEY (name_key, vendor_key, format_key)) WITHOUT ROWID;

            INSERT INTO account VALUES (1, 'A@b.c', 'a@b.c', 'h', 'A', 'B', 0, 1);
            INSERT INTO login_failure VALUES ('a@b.c', 5);
            INSERT INTO machine VALUES (7, 1, 'Studio', 'Win', 'Windows 10', '', '', '', '8192', '', '', '', '',
                                        '', '', '', '', 1);
            INSERT INTO plugin VALUES (7, 0, 'Verb', '2.5', 'Acme', 'C:\VST\verb.dll', 'VST', '');
            INSERT INTO plugin VALUES (7, 1, 'Comp', '1.0', 'Acme', 'C:\VST\comp.dll', 'VST', 'crashed');
            INSERT INTO known_version VALUES ('verb', 'acme', '2.5');
            INSERT INTO catalog VALUES ('verb', 'acme', 'vst', 'Verb', 'Acme', 'VST', '2.6', '');
        )sql");
    }

    TEST_F (SchemaTest, ADatabaseFromBeforeTheVersionIsUpgradedWithItsRows)
    {
        // Such a database has the tables of version 1 and user_version 0;
        // one of version 1 is upgraded the same way.
        makeVersion1 (db);
        Schema::bringUpToDate (db);

        EXPECT_EQ (Schema::versionOf (db), Schema::currentVersion);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM account WHERE email = 'A@b.c'"), 1);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM account WHERE confirmed_at IS NULL"), 0);   // counts as confirmed
        EXPECT_EQ (number ("SELECT COUNT(*) FROM catalog"), 1);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM machine WHERE ram = '8192'"), 1);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('known_version', 'login_failure', "
                           "'plugin_v1')"), 0);

        // The plug-ins are the same, in the same order, now in the compact
        // tables, and they report their versions.
        const auto plugins = InventoryStore::readPlugins (db, 7);
        ASSERT_EQ (plugins.size(), 2u);
        EXPECT_EQ (plugins[0].name, "Verb");
        EXPECT_EQ (plugins[0].version, "2.5");
        EXPECT_EQ (plugins[0].path, "C:\\VST\\verb.dll");
        EXPECT_EQ (plugins[1].name, "Comp");
        EXPECT_EQ (plugins[1].error, "crashed");
        EXPECT_EQ (number ("SELECT COUNT(*) FROM plugin WHERE machine_id = 7 AND learned = '012.5 2.5'"), 1);
    }

    // The hash that named a plug-in's reports up to version 5: its name and
    // vendor only.
    std::int64_t version5Hash (const std::string& nameKey, const std::string& vendorKey)
    {
        const auto key = nameKey + '\0' + vendorKey;
        unsigned char hash[crypto_generichash_BYTES_MIN] = {};
        crypto_generichash (hash, sizeof (hash), reinterpret_cast<const unsigned char*> (key.data()), key.size(),
                            nullptr, 0);
        std::int64_t value = 0;
        std::memcpy (&value, hash, sizeof (value));
        return value;
    }

    // A database of version 5 as that version left it: confirmed accounts
    // a, b, c with a machine each, reporting Verb 2.0 (uploaded as "VST",
    // without a format, and from a folder row marked "AU"), an
    // unconfirmed account d that reports nothing, and a catalog row
    // imported without a format.
    void makeVersion5 (Database& db)
    {
        Schema::bringUpToDate (db);
        db.execute ("DROP TABLE mail_queue; ALTER TABLE account DROP COLUMN credential_version");
        db.execute (R"sql(
            INSERT INTO account VALUES (1, 'a@x.com', 'a@x.com', 'h', 'A', 'B', 0, 1, 1);
            INSERT INTO account VALUES (2, 'b@x.com', 'b@x.com', 'h', 'A', 'B', 0, 1, 1);
            INSERT INTO account VALUES (3, 'c@x.com', 'c@x.com', 'h', 'A', 'B', 0, 1, 1);
            INSERT INTO account VALUES (4, 'd@x.com', 'd@x.com', 'h', 'A', 'B', 0, 1, NULL);
            INSERT INTO catalog VALUES ('verb', 'acme', '', 'Verb', 'Acme', '', '1.5', '');
        )sql");

        const char* formats[] { "VST", "", "AU", "VST" };

        for (std::int64_t account = 1; account <= 4; ++account)
        {
            Database::Statement machine (db, "INSERT INTO machine VALUES (?1, ?1, 'PC', 'Win', '', '', '', '', '', '', "
                                             "'', '', '', '', '', '', '', 1, ?2)");
            machine.bind (1, account).bind (2, "10." + std::to_string (account) + ".0").run();
            InventoryStore::writePlugins (db, account, { { "Verb", account == 4 ? "9.0" : "2.0", "Acme", "C:\\v.dll",
                                                           formats[account - 1], "" } });
        }

        // The reports as version 5 wrote them, for the confirmed accounts.
        db.execute ("DELETE FROM plugin; ALTER TABLE plugin_list DROP COLUMN before_formats; "
                    "DROP INDEX plugin_by_machine; PRAGMA user_version = 5");
        Database::Statement report (db, "INSERT INTO plugin VALUES (?1, '012. 2.0', ?2)");

        for (std::int64_t machine = 1; machine <= 3; ++machine)
        {
            report.bind (1, version5Hash ("verb", "acme")).bind (2, machine).run();
            report.reset();
        }
    }

    TEST_F (SchemaTest, AnUpgradeFromVersion5CarriesTheReportsOverAsVst)
    {
        makeVersion5 (db);
        ASSERT_EQ (number ("SELECT COUNT(*) FROM plugin"), 3);
        Schema::bringUpToDate (db);
        ASSERT_EQ (Schema::versionOf (db), Schema::currentVersion);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM sqlite_master WHERE name = 'plugin_by_machine'"), 1);

        const auto vst = InventoryStore::keyHash ("Verb", "Acme", "VST");
        const auto countOf = [this] (std::int64_t hash)
        {
            Database::Statement query (db, "SELECT COUNT(*) FROM plugin WHERE key_hash = ?1");
            query.bind (1, hash).step();
            return query.columnInt (0);
        };

        EXPECT_EQ (countOf (vst), 3);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM plugin"), 3);
        EXPECT_EQ (countOf (InventoryStore::keyHash ("Verb", "Acme", "AU")), 0);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM catalog WHERE format_key = 'vst' AND format = 'VST'"), 1);

        // Taken again, nothing changes.
        Schema::bringUpToDate (db);
        EXPECT_EQ (countOf (vst), 3);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM plugin"), 3);

        // The crowd knows 2.0 for the VST row, and nothing for another format.
        ConnectionPool pool (db.path());
        InventoryStore store (pool);

        {
            InventoryStore::Transaction transaction (store, 1);
            EXPECT_EQ (transaction.learnedVersion (vst, 3, "1.5"), std::optional<std::string> ("2.0"));
            EXPECT_FALSE (transaction.learnedVersion (InventoryStore::keyHash ("Verb", "Acme", "VST3"), 3, "")
                              .has_value());

            // A new scan of the machine whose row said "AU" takes its carried
            // report back, and reports what it holds now in its own format.
            InventoryParser::Inventory inventory;
            inventory.machine.assign (InventoryParser::machineAttributeNames().size(), "");
            inventory.machine.front() = "PC";
            inventory.plugins = { { "Verb", "2.1", "Acme", "C:\\v.dll", "AU", "" } };
            ASSERT_TRUE (transaction.replaceInventory (3, inventory, 2, 10, "10.3.0"));
            transaction.commit();
        }

        EXPECT_EQ (countOf (vst), 2);
        EXPECT_EQ (countOf (InventoryStore::keyHash ("Verb", "Acme", "AU")), 1);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM plugin_list WHERE before_formats = 1"), 3);
    }

    TEST_F (SchemaTest, TheUpgradeNotesAddressesThatNowCompareAsTheSameOrAreNoMailbox)
    {
        makeVersion1 (db);
        db.execute (R"sql(
            INSERT INTO account VALUES (2, 'a@b.c.', 'a@b.c.', 'h', 'A', 'B', 0, 1);
            INSERT INTO account VALUES (3, 'x@y.org, z@y.org', 'x@y.org, z@y.org', 'h', 'A', 'B', 0, 1);
        )sql");

        std::string notes;

        for (const auto& note : Schema::bringUpToDate (db))
            notes += note + "\n";

        EXPECT_NE (notes.find ("accounts #1 \"A@b.c\", #2 \"a@b.c.\" have addresses that now compare as the same"),
                   std::string::npos) << notes;
        EXPECT_NE (notes.find ("account #3, \"x@y.org, z@y.org\", is not one mailbox"), std::string::npos) << notes;
        EXPECT_EQ (number ("SELECT COUNT(*) FROM account WHERE email_key = 'a@b.c'"), 2);

        // Making the table anew kept what refers to the accounts.
        EXPECT_EQ (number ("SELECT COUNT(*) FROM machine WHERE account_id = 1"), 1);
        EXPECT_EQ (number ("PRAGMA foreign_keys"), 1);
    }

    //==============================================================================
    // What each kind of database holds: table -> its columns, and the
    // names of the indexes made for the queries (not those of keys).
    struct Layout
    {
        std::map<std::string, std::set<std::string>> columns;
        std::set<std::string> indexes;
    };

    Layout layoutOf (Database& db)
    {
        Layout layout;
        const bool sqlite = db.kind() == Database::Kind::sqlite;

        Database::Statement columns (db, sqlite
            ? "SELECT m.name, c.name FROM sqlite_master m, pragma_table_info(m.name) c WHERE m.type = 'table'"
            : "SELECT table_name, column_name FROM information_schema.columns "
              "WHERE table_schema = current_schema() AND table_name <> 'schema_version'");

        while (columns.step())
            layout.columns[columns.columnText (0)].insert (columns.columnText (1));

        Database::Statement indexes (db, sqlite
            ? "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"
            : "SELECT indexname FROM pg_indexes i WHERE schemaname = current_schema() "
              "AND NOT EXISTS (SELECT 1 FROM pg_constraint c WHERE c.conname = i.indexname)");

        while (indexes.step())
            layout.indexes.insert (indexes.columnText (0));

        return layout;
    }

    TEST (SchemaOnPostgreSQL, HasTheTablesColumnsAndIndexesOfSQLite)
    {
        TestStore sqliteStore (Database::Kind::sqlite), postgresStore (Database::Kind::postgresql);
        Database sqlite (sqliteStore.location()), postgres (postgresStore.location());
        Schema::bringUpToDate (sqlite);
        Schema::bringUpToDate (postgres);

        EXPECT_EQ (Schema::versionOf (postgres), Schema::currentVersion);

        const auto expected = layoutOf (sqlite), found = layoutOf (postgres);
        EXPECT_EQ (found.columns, expected.columns);
        EXPECT_EQ (found.indexes, expected.indexes);
        EXPECT_EQ (found.indexes.count ("plugin_by_machine"), 1u);

        // Once up to date, nothing is done again.
        Schema::bringUpToDate (postgres);
        Database::Statement rows (postgres, "SELECT COUNT(*), MAX(version) FROM schema_version");
        ASSERT_TRUE (rows.step());
        EXPECT_EQ (rows.columnInt (0), 1);
        EXPECT_EQ (rows.columnInt (1), Schema::currentVersion);
    }

    TEST (SchemaOnPostgreSQL, ADatabaseOfANewerVersionIsRefusedAndLeftAsItIs)
    {
        TestStore store (Database::Kind::postgresql);
        Database db (store.location());
        Schema::bringUpToDate (db);
        db.execute ("UPDATE schema_version SET version = 99");

        EXPECT_THROW (Schema::bringUpToDate (db), Database::Error);
        EXPECT_EQ (Schema::versionOf (db), 99);
    }
}
