#include "store/Database.h"

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
}

Database::Error::Error (const std::string& what, int code)
    : std::runtime_error (what), resultCode (code)
{
}

bool Database::Error::isFull() const noexcept
{
    return (resultCode & 0xff) == SQLITE_FULL;
}

//==============================================================================
Database::Database (const std::string& path)
    : filePath (path)
{
    const auto flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;

    if (sqlite3_open_v2 (path.c_str(), &connection, flags, nullptr) != SQLITE_OK)
    {
        const std::string message = connection != nullptr ? sqlite3_errmsg (connection) : "out of memory";
        sqlite3_close (connection);
        connection = nullptr;
        throw Error ("cannot open the database " + path + ": " + message);
    }

    sqlite3_busy_timeout (connection, busyTimeoutMs);
    sqlite3_extended_result_codes (connection, 1);

    try
    {
        // The first statement is where SQLite finds out that a file is not
        // a database at all.
        execute ("PRAGMA journal_mode = WAL");
        execute ("PRAGMA synchronous = NORMAL");
        // A large upload grows the write-ahead log; it is cut back to this
        // size at the next checkpoint instead of staying as large until
        // the service stops.
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

Database::~Database()
{
    sqlite3_close_v2 (connection);
}

void Database::execute (const char* sql)
{
    if (sqlite3_exec (connection, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail ("statement failed");
}

std::int64_t Database::lastInsertId() const
{
    return sqlite3_last_insert_rowid (connection);
}

int Database::changes() const
{
    return sqlite3_changes (connection);
}

void Database::fail (const char* what) const
{
    throw Error (std::string (what) + ": " + sqlite3_errmsg (connection), sqlite3_extended_errcode (connection));
}

//==============================================================================
Database::Statement::Statement (Database& owner, std::string_view sql)
    : database (owner)
{
    if (sqlite3_prepare_v2 (database.connection, sql.data(), checkedLength (sql.size()),
                            &statement, nullptr) != SQLITE_OK)
        database.fail ("cannot prepare a statement");
}

Database::Statement::~Statement()
{
    sqlite3_finalize (statement);
}

Database::Statement& Database::Statement::bind (int index, std::string_view text)
{
    if (sqlite3_bind_text (statement, index, text.data(), checkedLength (text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        database.fail ("cannot bind a value");

    return *this;
}

Database::Statement& Database::Statement::bind (int index, std::int64_t value)
{
    if (sqlite3_bind_int64 (statement, index, value) != SQLITE_OK)
        database.fail ("cannot bind a value");

    return *this;
}

Database::Statement& Database::Statement::bindBlob (int index, const void* data, std::size_t size)
{
    if (sqlite3_bind_blob (statement, index, data, checkedLength (size), SQLITE_TRANSIENT) != SQLITE_OK)
        database.fail ("cannot bind a value");

    return *this;
}

Database::Statement& Database::Statement::bindNull (int index)
{
    if (sqlite3_bind_null (statement, index) != SQLITE_OK)
        database.fail ("cannot bind a value");

    return *this;
}

bool Database::Statement::step()
{
    const auto rc = sqlite3_step (statement);

    if (rc == SQLITE_ROW)
        return true;

    if (rc == SQLITE_DONE)
        return false;

    database.fail ("statement failed");
}

void Database::Statement::run()
{
    while (step())
    {
    }
}

void Database::Statement::reset()
{
    sqlite3_reset (statement);
    sqlite3_clear_bindings (statement);
}

std::string Database::Statement::columnText (int column) const
{
    const auto* text = sqlite3_column_text (statement, column);
    const auto size = sqlite3_column_bytes (statement, column);

    if (text == nullptr || size <= 0)
        return {};

    return std::string (reinterpret_cast<const char*> (text), static_cast<std::size_t> (size));
}

std::int64_t Database::Statement::columnInt (int column) const
{
    return sqlite3_column_int64 (statement, column);
}

bool Database::Statement::columnIsNull (int column) const
{
    return sqlite3_column_type (statement, column) == SQLITE_NULL;
}

std::string Database::Statement::columnBlob (int column) const
{
    const auto* data = sqlite3_column_blob (statement, column);
    const auto size = sqlite3_column_bytes (statement, column);

    if (data == nullptr || size <= 0)
        return {};

    return std::string (static_cast<const char*> (data), static_cast<std::size_t> (size));
}

//==============================================================================
Database::Transaction::Transaction (Database& owner)
    : database (owner)
{
    database.execute ("BEGIN IMMEDIATE");
}

Database::Transaction::~Transaction()
{
    if (open)
        sqlite3_exec (database.connection, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Database::Transaction::commit()
{
    database.execute ("COMMIT");
    open = false;
}
