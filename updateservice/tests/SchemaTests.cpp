#include "Database.h"
#include "Schema.h"
#include "ServiceProcess.h"

#include <gtest/gtest.h>

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
                           "'login_failure', 'reset_code', 'machine', 'plugin', 'known_version', 'catalog')"), 7);

        // Once up to date, nothing is done again.
        Schema::bringUpToDate (db);
        EXPECT_EQ (Schema::versionOf (db), Schema::currentVersion);
    }

    TEST_F (SchemaTest, ADatabaseFromBeforeTheVersionIsUpgradedWithItsRows)
    {
        // Such a database has the tables of version 1 and user_version 0.
        Schema::bringUpToDate (db);
        db.execute ("PRAGMA user_version = 0");
        db.execute ("INSERT INTO account (email, email_key, password_hash, first_name, last_name, is_developer, "
                    "created_at) VALUES ('A@b.c', 'a@b.c', 'h', 'A', 'B', 0, 1)");
        db.execute ("INSERT INTO known_version VALUES ('verb', 'acme', '2.5')");
        db.execute ("INSERT INTO catalog VALUES ('verb', 'acme', 'vst', 'Verb', 'Acme', 'VST', '2.6', '')");

        Schema::bringUpToDate (db);

        EXPECT_EQ (Schema::versionOf (db), Schema::currentVersion);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM account WHERE email = 'A@b.c'"), 1);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM known_version"), 1);
        EXPECT_EQ (number ("SELECT COUNT(*) FROM catalog"), 1);
    }
}
