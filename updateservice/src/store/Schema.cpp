#include "store/Schema.h"

#include "base/EmailAddress.h"
#include "store/InventoryStore.h"

#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace
{
    // Version 1: accounts, log-in failures, reset codes, inventories, known
    // versions and the catalog. "IF NOT EXISTS" because databases written
    // before the version was kept are at 0 with these tables in place; the
    // step then only records the version.
    constexpr const char* version1 = R"sql(
        CREATE TABLE IF NOT EXISTS account (
            id            INTEGER PRIMARY KEY,
            email         TEXT NOT NULL,
            email_key     TEXT NOT NULL UNIQUE,
            password_hash TEXT NOT NULL,
            first_name    TEXT NOT NULL,
            last_name     TEXT NOT NULL,
            is_developer  INTEGER NOT NULL,
            created_at    INTEGER NOT NULL
        );

        CREATE TABLE IF NOT EXISTS login_failure (
            email_key TEXT NOT NULL,
            at        INTEGER NOT NULL
        );
        CREATE INDEX IF NOT EXISTS login_failure_by_key ON login_failure (email_key, at);

        CREATE TABLE IF NOT EXISTS reset_code (
            id         INTEGER PRIMARY KEY,
            account_id INTEGER NOT NULL REFERENCES account (id) ON DELETE CASCADE,
            code_hash  BLOB NOT NULL,
            created_at INTEGER NOT NULL,
            expires_at INTEGER NOT NULL,
            used_at    INTEGER
        );
        CREATE INDEX IF NOT EXISTS reset_code_by_account ON reset_code (account_id);

        CREATE TABLE IF NOT EXISTS machine (
            id               INTEGER PRIMARY KEY,
            account_id       INTEGER NOT NULL REFERENCES account (id) ON DELETE CASCADE,
            machine_name     TEXT NOT NULL,
            platform         TEXT NOT NULL,
            platform_string  TEXT NOT NULL,
            cpu_vendor       TEXT NOT NULL,
            cpu_speed        TEXT NOT NULL,
            supports_64bit   TEXT NOT NULL,
            ram              TEXT NOT NULL,
            has_sse1         TEXT NOT NULL,
            has_sse2         TEXT NOT NULL,
            has_mmx          TEXT NOT NULL,
            has_3dnow        TEXT NOT NULL,
            display_language TEXT NOT NULL,
            user_language    TEXT NOT NULL,
            region           TEXT NOT NULL,
            profile_time     TEXT NOT NULL,
            uploaded_at      INTEGER NOT NULL,
            UNIQUE (account_id, machine_name)
        );

        CREATE TABLE IF NOT EXISTS plugin (
            machine_id INTEGER NOT NULL REFERENCES machine (id) ON DELETE CASCADE,
            position   INTEGER NOT NULL,
            name       TEXT NOT NULL,
            version    TEXT NOT NULL,
            vendor     TEXT NOT NULL,
            path       TEXT NOT NULL,
            format     TEXT NOT NULL,
            error      TEXT NOT NULL,
            PRIMARY KEY (machine_id, position)
        ) WITHOUT ROWID;

        CREATE TABLE IF NOT EXISTS known_version (
            name_key   TEXT NOT NULL,
            vendor_key TEXT NOT NULL,
            version    TEXT NOT NULL,
            PRIMARY KEY (name_key, vendor_key)
        ) WITHOUT ROWID;

        CREATE TABLE IF NOT EXISTS catalog (
            name_key   TEXT NOT NULL,
            vendor_key TEXT NOT NULL,
            format_key TEXT NOT NULL,
            name       TEXT NOT NULL,
            vendor     TEXT NOT NULL,
            format     TEXT NOT NULL,
            version    TEXT NOT NULL,
            website    TEXT NOT NULL,
            PRIMARY KEY (name_key, vendor_key, format_key)
        ) WITHOUT ROWID;
    )sql";

    // Version 2: log-in attempts per client address and account (instead of
    // failures per address), request counts for the mail-sending actions,
    // and compact inventories: a machine's plug-ins are kept as one
    // compressed list ("plugin_list"), and "plugin" keeps only what the
    // crowd learns from them: per machine and plug-in (by the hash of Name
    // and Vendor) the highest version it holds. The known versions are no
    // longer a table of their own: they are read from these reports, so
    // that a report ends with the inventory that made it.
    constexpr const char* version2 = R"sql(
        DROP TABLE IF EXISTS login_failure;

        CREATE TABLE login_attempt (
            id        INTEGER PRIMARY KEY,
            client    TEXT NOT NULL,
            email_key TEXT NOT NULL,
            at        INTEGER NOT NULL
        );
        CREATE INDEX login_attempt_by_client ON login_attempt (client, email_key, at);
        CREATE INDEX login_attempt_by_account ON login_attempt (email_key, at);
        CREATE INDEX login_attempt_by_time ON login_attempt (at);

        CREATE TABLE request_event (
            kind   TEXT NOT NULL,
            client TEXT NOT NULL,
            at     INTEGER NOT NULL
        );
        CREATE INDEX request_event_by_client ON request_event (kind, client, at);
        CREATE INDEX request_event_by_time ON request_event (kind, at);

        ALTER TABLE plugin RENAME TO plugin_v1;

        CREATE TABLE plugin_list (
            machine_id   INTEGER PRIMARY KEY REFERENCES machine (id) ON DELETE CASCADE,
            plugins      INTEGER NOT NULL,
            packed_bytes INTEGER NOT NULL,
            packed       BLOB NOT NULL
        );

        CREATE TABLE plugin (
            key_hash   INTEGER NOT NULL,
            learned    TEXT NOT NULL,
            machine_id INTEGER NOT NULL,
            PRIMARY KEY (key_hash, learned, machine_id)
        ) WITHOUT ROWID;
    )sql";

    // Version 3: the limits on sign-ups and reset requests are token
    // buckets, per client address, per network and for all together,
    // instead of counts of the last hour: a row is a bucket that is not
    // full, and "full_at" (microseconds since 1970) is when it will be
    // full again.
    constexpr const char* version3 = R"sql(
        DROP TABLE IF EXISTS request_event;

        CREATE TABLE rate_bucket (
            kind    TEXT NOT NULL,
            key     TEXT NOT NULL,
            full_at INTEGER NOT NULL,
            PRIMARY KEY (kind, key)
        ) WITHOUT ROWID;
        CREATE INDEX rate_bucket_by_time ON rate_bucket (full_at);
    )sql";

    // Version 4: addresses are compared by EmailAddress::key(), under which
    // accounts made before may collide, so the key is no longer unique.
    // SQLite cannot drop a constraint: the table is made anew (with
    // foreign keys off, so the accounts' machines and codes stay).
    constexpr const char* version4 = R"sql(
        CREATE TABLE account_v4 (
            id            INTEGER PRIMARY KEY,
            email         TEXT NOT NULL,
            email_key     TEXT NOT NULL,
            password_hash TEXT NOT NULL,
            first_name    TEXT NOT NULL,
            last_name     TEXT NOT NULL,
            is_developer  INTEGER NOT NULL,
            created_at    INTEGER NOT NULL
        );
        INSERT INTO account_v4 SELECT id, email, email_key, password_hash, first_name, last_name, is_developer,
                                      created_at FROM account;
        DROP TABLE account;
        ALTER TABLE account_v4 RENAME TO account;
        CREATE INDEX account_by_key ON account (email_key);
    )sql";

    // Gives every account the key of its address, and notes accounts that
    // now share a key, and addresses that are not one mailbox (no mail
    // goes to those).
    void keyAddresses (Database& db, std::vector<std::string>& notes)
    {
        std::map<std::string, std::vector<std::pair<std::int64_t, std::string>>> byKey;

        {
            Database::Statement query (db, "SELECT id, email FROM account ORDER BY id");

            while (query.step())
                byKey[EmailAddress::key (query.columnText (1))].emplace_back (query.columnInt (0), query.columnText (1));
        }

        Database::Statement update (db, "UPDATE account SET email_key = ?1 WHERE id = ?2");

        for (const auto& [key, accounts] : byKey)
        {
            std::string listed;

            for (const auto& [id, email] : accounts)
            {
                update.bind (1, key).bind (2, id).run();
                update.reset();
                listed += (listed.empty() ? "" : ", ") + ("#" + std::to_string (id) + " \"" + email + "\"");

                if (! EmailAddress::check (email).empty())
                    notes.push_back ("the address of account #" + std::to_string (id) + ", \"" + email
                                     + "\", is not one mailbox: it still logs in, but no mail goes to it");
            }

            if (accounts.size() > 1)
                notes.push_back ("accounts " + listed + " have addresses that now compare as the same; "
                                 "each still logs in with its address typed as stored");
        }
    }

    // Version 5: crowd versions count only confirmed accounts from several
    // networks. Accounts get the time their address was confirmed (those
    // made before count as confirmed), a table of confirmation tokens
    // (digests only), and machines the network of their latest upload
    // (unknown for older ones, which count for no network until their next
    // scan).
    constexpr const char* version5 = R"sql(
        ALTER TABLE account ADD COLUMN confirmed_at INTEGER;
        UPDATE account SET confirmed_at = created_at;

        CREATE TABLE confirmation (
            account_id INTEGER PRIMARY KEY REFERENCES account (id) ON DELETE CASCADE,
            token_hash BLOB NOT NULL UNIQUE,
            expires_at INTEGER NOT NULL
        );

        ALTER TABLE machine ADD COLUMN network TEXT;
    )sql";

    // Version 6: plug-ins are told apart by format as well, so a release
    // of one format is never offered to another. The reports are keyed by
    // the hash of name, vendor and format; those made before were made by
    // programs that scanned VST plug-ins only, so they carry over as VST.
    // The stored lists are marked, so that their reports stay VST (and are
    // taken back as such) until each machine's next scan. A catalog row
    // without a format is VST, as an upload's is.
    constexpr const char* version6 = R"sql(
        ALTER TABLE plugin_list ADD COLUMN before_formats INTEGER NOT NULL DEFAULT 0;
        UPDATE plugin_list SET before_formats = 1;

        DELETE FROM plugin;

        UPDATE OR IGNORE catalog SET format_key = 'vst', format = 'VST' WHERE format_key = '';
    )sql";

    // Writes the reports of every confirmed account's machines anew from
    // their stored lists, under the keys of version 6.
    void rekeyReports (Database& db, std::vector<std::string>&)
    {
        std::vector<std::int64_t> machines;

        {
            Database::Statement query (db, "SELECT m.id FROM machine m JOIN account a ON a.id = m.account_id "
                                           "WHERE a.confirmed_at IS NOT NULL ORDER BY m.id");

            while (query.step())
                machines.push_back (query.columnInt (0));
        }

        for (const auto machineId : machines)
            InventoryStore::writeReportsOf (db, machineId);
    }

    // Moves the inventories of version 1 into the compact tables, machine
    // by machine, and drops the old tables. The highest versions ever
    // uploaded cannot be told apart by account, so they go; the
    // inventories they came from still report theirs.
    void moveInventories (Database& db, std::vector<std::string>&)
    {
        std::vector<std::int64_t> machines;

        {
            Database::Statement query (db, "SELECT DISTINCT machine_id FROM plugin_v1 ORDER BY machine_id");

            while (query.step())
                machines.push_back (query.columnInt (0));
        }

        Database::Statement rows (db, "SELECT name, version, vendor, path, format, error FROM plugin_v1 "
                                      "WHERE machine_id = ?1 ORDER BY position");

        for (const auto machineId : machines)
        {
            std::vector<InventoryParser::Plugin> plugins;
            rows.bind (1, machineId);

            while (rows.step())
                plugins.push_back ({ rows.columnText (0), rows.columnText (1), rows.columnText (2),
                                     rows.columnText (3), rows.columnText (4), rows.columnText (5) });

            rows.reset();
            InventoryStore::writePlugins (db, machineId, plugins);
        }

        db.execute ("DROP TABLE plugin_v1; DROP TABLE IF EXISTS known_version;");
    }

    // PostgreSQL databases begin at version 6, with its layout made at
    // once: the same tables, columns and keys as a SQLite database that
    // took the steps up to it. Text is compared byte by byte (COLLATE
    // "C"), as SQLite compares it, so that keys and the order of the
    // learned versions are the same in both.
    constexpr const char* postgresVersion6 = R"sql(
        CREATE TABLE account (
            id            BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
            email         TEXT COLLATE "C" NOT NULL,
            email_key     TEXT COLLATE "C" NOT NULL,
            password_hash TEXT COLLATE "C" NOT NULL,
            first_name    TEXT COLLATE "C" NOT NULL,
            last_name     TEXT COLLATE "C" NOT NULL,
            is_developer  BIGINT NOT NULL,
            created_at    BIGINT NOT NULL,
            confirmed_at  BIGINT
        );
        CREATE INDEX account_by_key ON account (email_key);

        CREATE TABLE login_attempt (
            id        BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
            client    TEXT COLLATE "C" NOT NULL,
            email_key TEXT COLLATE "C" NOT NULL,
            at        BIGINT NOT NULL
        );
        CREATE INDEX login_attempt_by_client ON login_attempt (client, email_key, at);
        CREATE INDEX login_attempt_by_account ON login_attempt (email_key, at);
        CREATE INDEX login_attempt_by_time ON login_attempt (at);

        CREATE TABLE rate_bucket (
            kind    TEXT COLLATE "C" NOT NULL,
            key     TEXT COLLATE "C" NOT NULL,
            full_at BIGINT NOT NULL,
            PRIMARY KEY (kind, key)
        );
        CREATE INDEX rate_bucket_by_time ON rate_bucket (full_at);

        CREATE TABLE reset_code (
            id         BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
            account_id BIGINT NOT NULL REFERENCES account (id) ON DELETE CASCADE,
            code_hash  BYTEA NOT NULL,
            created_at BIGINT NOT NULL,
            expires_at BIGINT NOT NULL,
            used_at    BIGINT
        );
        CREATE INDEX reset_code_by_account ON reset_code (account_id);

        CREATE TABLE confirmation (
            account_id BIGINT PRIMARY KEY REFERENCES account (id) ON DELETE CASCADE,
            token_hash BYTEA NOT NULL UNIQUE,
            expires_at BIGINT NOT NULL
        );

        CREATE TABLE machine (
            id               BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
            account_id       BIGINT NOT NULL REFERENCES account (id) ON DELETE CASCADE,
            machine_name     TEXT COLLATE "C" NOT NULL,
            platform         TEXT COLLATE "C" NOT NULL,
            platform_string  TEXT COLLATE "C" NOT NULL,
            cpu_vendor       TEXT COLLATE "C" NOT NULL,
            cpu_speed        TEXT COLLATE "C" NOT NULL,
            supports_64bit   TEXT COLLATE "C" NOT NULL,
            ram              TEXT COLLATE "C" NOT NULL,
            has_sse1         TEXT COLLATE "C" NOT NULL,
            has_sse2         TEXT COLLATE "C" NOT NULL,
            has_mmx          TEXT COLLATE "C" NOT NULL,
            has_3dnow        TEXT COLLATE "C" NOT NULL,
            display_language TEXT COLLATE "C" NOT NULL,
            user_language    TEXT COLLATE "C" NOT NULL,
            region           TEXT COLLATE "C" NOT NULL,
            profile_time     TEXT COLLATE "C" NOT NULL,
            uploaded_at      BIGINT NOT NULL,
            network          TEXT COLLATE "C",
            UNIQUE (account_id, machine_name)
        );

        CREATE TABLE plugin_list (
            machine_id     BIGINT PRIMARY KEY REFERENCES machine (id) ON DELETE CASCADE,
            plugins        BIGINT NOT NULL,
            packed_bytes   BIGINT NOT NULL,
            packed         BYTEA NOT NULL,
            before_formats BIGINT NOT NULL DEFAULT 0
        );

        CREATE TABLE plugin (
            key_hash   BIGINT NOT NULL,
            learned    TEXT COLLATE "C" NOT NULL,
            machine_id BIGINT NOT NULL,
            PRIMARY KEY (key_hash, learned, machine_id)
        );

        CREATE TABLE catalog (
            name_key   TEXT COLLATE "C" NOT NULL,
            vendor_key TEXT COLLATE "C" NOT NULL,
            format_key TEXT COLLATE "C" NOT NULL,
            name       TEXT COLLATE "C" NOT NULL,
            vendor     TEXT COLLATE "C" NOT NULL,
            format     TEXT COLLATE "C" NOT NULL,
            version    TEXT COLLATE "C" NOT NULL,
            website    TEXT COLLATE "C" NOT NULL,
            PRIMARY KEY (name_key, vendor_key, format_key)
        );
    )sql";

    // Version 7: a machine's reports are found by the machine, when they
    // are taken back (its account's address changed, or its stored list
    // cannot be read), without reading every report of every machine.
    constexpr const char* version7 = R"sql(
        CREATE INDEX plugin_by_machine ON plugin (machine_id);
    )sql";

    // Version 8: the credential version of each account, raised by every
    // password reset and change of address, against which the processes
    // check the log-ins they remember; and the queue of mail to send, each
    // message sealed with a key kept outside the database.
    constexpr const char* version8 = R"sql(
        ALTER TABLE account ADD COLUMN credential_version INTEGER NOT NULL DEFAULT 0;

        CREATE TABLE mail_queue (
            id              INTEGER PRIMARY KEY,
            message         BLOB NOT NULL,
            created_at      INTEGER NOT NULL,
            expires_at      INTEGER NOT NULL,
            next_attempt_at INTEGER NOT NULL,
            attempts        INTEGER NOT NULL DEFAULT 0,
            claimed_until   INTEGER NOT NULL DEFAULT 0,
            last_error      TEXT
        );
        CREATE INDEX mail_queue_by_due ON mail_queue (next_attempt_at);
    )sql";

    constexpr const char* postgresVersion8 = R"sql(
        ALTER TABLE account ADD COLUMN credential_version BIGINT NOT NULL DEFAULT 0;

        CREATE TABLE mail_queue (
            id              BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
            message         BYTEA NOT NULL,
            created_at      BIGINT NOT NULL,
            expires_at      BIGINT NOT NULL,
            next_attempt_at BIGINT NOT NULL,
            attempts        BIGINT NOT NULL DEFAULT 0,
            claimed_until   BIGINT NOT NULL DEFAULT 0,
            last_error      TEXT COLLATE "C"
        );
        CREATE INDEX mail_queue_by_due ON mail_queue (next_attempt_at);
    )sql";

    struct Step
    {
        int version;       ///< what the database is at once the step is taken
        const char* sql;
        /** After the SQL, in the same transaction; may be null. What it
            adds to the notes is for the log. */
        void (*moveRows) (Database&, std::vector<std::string>& notes);
        /** The step on PostgreSQL, with the same moveRows; null for the
            versions before PostgreSQL databases begin, which only record
            the version there. */
        const char* postgresSql;
    };

    // In order; each step takes the database from the version before it
    // to its own. A new layout is a new step at the end, never a change to
    // an old one: databases out there have taken the old steps already.
    // From version 6 on, a step has SQL for both kinds of database.
    constexpr Step steps[] {
        { 1, version1, nullptr, nullptr },
        { 2, version2, moveInventories, nullptr },
        { 3, version3, nullptr, nullptr },
        { 4, version4, keyAddresses, nullptr },
        { 5, version5, nullptr, nullptr },
        { 6, version6, rekeyReports, postgresVersion6 },
        { 7, version7, nullptr, version7 },
        { 8, version8, nullptr, postgresVersion8 }
    };

    // PostgreSQL has no header field for the version: a table of one row
    // keeps it.
    constexpr const char* postgresVersionTable = "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)";

    void recordVersion (Database& db, int version)
    {
        if (db.kind() == Database::Kind::sqlite)
        {
            db.execute (("PRAGMA user_version = " + std::to_string (version)).c_str());
            return;
        }

        db.execute (postgresVersionTable);
        db.execute ("DELETE FROM schema_version");
        Database::Statement insert (db, "INSERT INTO schema_version (version) VALUES (?1)");
        insert.bind (1, static_cast<std::int64_t> (version)).run();
    }

    void takeStep (Database& db, const Step& step, std::vector<std::string>& notes)
    {
        if (db.kind() == Database::Kind::postgresql)
        {
            if (step.postgresSql == nullptr)
                return;

            db.execute (step.postgresSql);

            if (step.moveRows != nullptr)
                step.moveRows (db, notes);

            return;
        }

        db.execute (step.sql);

        if (step.moveRows != nullptr)
            step.moveRows (db, notes);

        if (Database::Statement broken (db, "PRAGMA foreign_key_check"); broken.step())
            throw Database::Error ("schema step " + std::to_string (step.version) + " would break the rows of "
                                   + broken.columnText (0) + "; nothing of it was done");
    }

    static_assert (steps[std::size (steps) - 1].version == Schema::currentVersion,
                   "the last step must reach the current version");
}

int Schema::versionOf (Database& db)
{
    if (db.kind() == Database::Kind::postgresql)
    {
        if (Database::Statement exists (db, "SELECT to_regclass('schema_version') IS NOT NULL");
            ! exists.step() || exists.columnInt (0) == 0)
            return 0;

        Database::Statement query (db, "SELECT MAX(version) FROM schema_version");
        return query.step() ? static_cast<int> (query.columnInt (0)) : 0;
    }

    Database::Statement query (db, "PRAGMA user_version");
    return query.step() ? static_cast<int> (query.columnInt (0)) : 0;
}

std::vector<std::string> Schema::bringUpToDate (Database& db)
{
    std::vector<std::string> notes;

    const auto found = versionOf (db);

    if (found > currentVersion)
        throw Database::Error ("the database " + db.path() + " has schema version " + std::to_string (found)
                               + ", but this program knows versions up to " + std::to_string (currentVersion)
                               + "; it was written by a newer cobaltline-service. Nothing was changed.");

    // A step may make a table anew, which with foreign keys on would
    // delete the rows that refer to it; each step checks them itself.
    const bool sqlite = db.kind() == Database::Kind::sqlite;

    if (sqlite)
        db.execute ("PRAGMA foreign_keys = OFF");

    try
    {
        for (const auto& step : steps)
        {
            if (versionOf (db) >= step.version)
                continue;

            // The write lock: another process bringing the same database up
            // to date waits here.
            Database::Transaction transaction (db);

            // Another process may have taken the step while this one waited
            // for the write lock.
            if (versionOf (db) >= step.version)
                continue;

            takeStep (db, step, notes);
            recordVersion (db, step.version);
            transaction.commit();
        }
    }
    catch (...)
    {
        if (sqlite)
            db.execute ("PRAGMA foreign_keys = ON");

        throw;
    }

    if (sqlite)
        db.execute ("PRAGMA foreign_keys = ON");

    return notes;
}
