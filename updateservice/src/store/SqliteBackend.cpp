#include "store/DatabaseBackend.h"

#include <sqlite3.h>

#include <climits>

namespace
{
    constexpr int busyTimeoutMs = 30000;

    int checkedLength (std::size_t size)
    {
        if (size > static_cast<std::size_t> (INT_MAX))
            throw Database::Error ("value too large for the store");

        return static_cast<int> (size);
    }

    [[noreturn]] void fail (sqlite3* connection, const char* what)
    {
        throw Database::Error (std::string (what) + ": " + sqlite3_errmsg (connection),
                               (sqlite3_extended_errcode (connection) & 0xff) == SQLITE_FULL);
    }

    //==============================================================================
    class SqliteStatement final : public Database::StatementBackend
    {
    public:
        SqliteStatement (sqlite3* owner, std::string_view sql)
            : connection (owner)
        {
            if (sqlite3_prepare_v2 (connection, sql.data(), checkedLength (sql.size()), &statement, nullptr) != SQLITE_OK)
                fail (connection, "cannot prepare a statement");
        }

        ~SqliteStatement() override
        {
            sqlite3_finalize (statement);
        }

        void bindText (int index, std::string_view text) override
        {
            // An empty view may have no data at all, which SQLite would take
            // for NULL.
            check (sqlite3_bind_text (statement, index, text.data() != nullptr ? text.data() : "",
                                      checkedLength (text.size()), SQLITE_TRANSIENT));
        }

        void bindInt (int index, std::int64_t value) override
        {
            check (sqlite3_bind_int64 (statement, index, value));
        }

        void bindBlob (int index, const void* data, std::size_t size) override
        {
            check (sqlite3_bind_blob (statement, index, data, checkedLength (size), SQLITE_TRANSIENT));
        }

        void bindNull (int index) override
        {
            check (sqlite3_bind_null (statement, index));
        }

        bool step() override
        {
            const auto rc = sqlite3_step (statement);

            if (rc == SQLITE_ROW)
                return true;

            if (rc == SQLITE_DONE)
                return false;

            fail (connection, "statement failed");
        }

        void reset() override
        {
            sqlite3_reset (statement);
            sqlite3_clear_bindings (statement);
        }

        std::string columnText (int column) const override
        {
            const auto* text = sqlite3_column_text (statement, column);
            const auto size = sqlite3_column_bytes (statement, column);

            if (text == nullptr || size <= 0)
                return {};

            return std::string (reinterpret_cast<const char*> (text), static_cast<std::size_t> (size));
        }

        std::int64_t columnInt (int column) const override
        {
            return sqlite3_column_int64 (statement, column);
        }

        bool columnIsNull (int column) const override
        {
            return sqlite3_column_type (statement, column) == SQLITE_NULL;
        }

        std::string columnBlob (int column) const override
        {
            const auto* data = sqlite3_column_blob (statement, column);
            const auto size = sqlite3_column_bytes (statement, column);

            if (data == nullptr || size <= 0)
                return {};

            return std::string (static_cast<const char*> (data), static_cast<std::size_t> (size));
        }

    private:
        void check (int rc) const
        {
            if (rc != SQLITE_OK)
                fail (connection, "cannot bind a value");
        }

        sqlite3* connection;
        sqlite3_stmt* statement = nullptr;
    };

    //==============================================================================
    class SqliteBackend final : public Database::Backend
    {
    public:
        explicit SqliteBackend (const std::string& path)
        {
            const auto flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;

            if (sqlite3_open_v2 (path.c_str(), &connection, flags, nullptr) != SQLITE_OK)
            {
                const std::string message = connection != nullptr ? sqlite3_errmsg (connection) : "out of memory";
                sqlite3_close (connection);
                connection = nullptr;
                throw Database::Error ("cannot open the database " + path + ": " + message);
            }

            sqlite3_busy_timeout (connection, busyTimeoutMs);
            sqlite3_extended_result_codes (connection, 1);

            try
            {
                // The first statement is where SQLite finds out that a file is
                // not a database at all.
                execute ("PRAGMA journal_mode = WAL");
                execute ("PRAGMA synchronous = NORMAL");
                // A large upload grows the write-ahead log; it is cut back to
                // this size at the next checkpoint instead of staying as large
                // until the service stops.
                execute ("PRAGMA journal_size_limit = 16777216");
                execute ("PRAGMA foreign_keys = ON");
            }
            catch (...)
            {
                // No destructor runs for an object whose constructor throws.
                sqlite3_close_v2 (connection);
                connection = nullptr;
                throw;
            }
        }

        ~SqliteBackend() override
        {
            sqlite3_close_v2 (connection);
        }

        void execute (const char* sql) override
        {
            if (sqlite3_exec (connection, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
                fail (connection, "statement failed");
        }

        std::unique_ptr<Database::StatementBackend> prepare (std::string_view sql) override
        {
            return std::make_unique<SqliteStatement> (connection, sql);
        }

        // Writers take the write lock at the start, so two writers wait for
        // each other instead of failing on the upgrade from reading to
        // writing.
        void begin (std::optional<std::int64_t>) override   { execute ("BEGIN IMMEDIATE"); }
        void lockAccount (std::int64_t) override {}
        void commit() override  { execute ("COMMIT"); }

        void rollback() noexcept override
        {
            sqlite3_exec (connection, "ROLLBACK", nullptr, nullptr, nullptr);
        }

        int changes() const override    { return sqlite3_changes (connection); }
        bool isUsable() const override  { return true; }

    private:
        sqlite3* connection = nullptr;
    };
}

std::unique_ptr<Database::Backend> openSqlite (const std::string& path)
{
    return std::make_unique<SqliteBackend> (path);
}
