#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

/**
    One connection to the service's store: a SQLite file, or a PostgreSQL
    database named by a connection string ("postgresql://..."). The stores
    above speak to either through this one interface, with SQL that both
    understand; where the two differ (the layout's types, the schema
    version, how writers take turns) the difference stays in here and in
    Schema.

    SQLite runs in WAL mode with a busy time-out, so that several
    connections (one per request being served) can read while one writes.
    PostgreSQL keeps text in byte order (COLLATE "C"), as SQLite does, and
    its write transactions take turns on one advisory lock, so that every
    process serving the database sees the same order of writes as SQLite's
    single writer gives.

    A connection is not thread-safe: use it from one thread at a time (the
    ConnectionPool hands each request its own). Failures throw
    Database::Error; the request handlers catch it and answer with a
    generic error, so no SQL text ever reaches a client.
*/
class Database
{
public:
    class Error : public std::runtime_error
    {
    public:
        /** `full`: there was no room for what was to be written. */
        explicit Error (const std::string& what, bool full = false);

        /** True when there was no room for what was to be written: the
            disk (or the database's size limit) is full. Nothing of the
            failed statement or transaction was kept. */
        bool isFull() const noexcept { return noRoom; }

    private:
        bool noRoom = false;
    };

    enum class Kind
    {
        sqlite,
        postgresql
    };

    /** What a --db value names: a PostgreSQL connection string starts with
        "postgresql://" or "postgres://"; anything else is a SQLite file. */
    static Kind kindOf (std::string_view location) noexcept;

    /** The location with any password of a connection string replaced by
        "***", for messages and logs. */
    static std::string withoutPassword (const std::string& location);

    /** Opens (and for SQLite creates, when missing) the database. Throws
        Database::Error when it cannot be opened. The tables are Schema's
        business. */
    explicit Database (const std::string& location);
    ~Database();

    Database (const Database&) = delete;
    Database& operator= (const Database&) = delete;

    Kind kind() const noexcept { return databaseKind; }

    /** Runs SQL without parameters (schema only); may hold several
        statements. */
    void execute (const char* sql);

    /** The database for messages: the file, or the connection string
        without its password. */
    const std::string& path() const noexcept { return shownName; }

    /** The rows changed by the latest statement that changed rows. */
    int changes() const;

    /** Whether the connection can still be used; a PostgreSQL connection
        whose server went away cannot. */
    bool isUsable() const;

    class Backend;
    class StatementBackend;

    /** A prepared statement. Every value from outside goes in through
        bind(); SQL text is never built from data. Parameters are written
        ?1, ?2, ... in the SQL for both kinds of database. */
    class Statement
    {
    public:
        Statement (Database& owner, std::string_view sql);
        ~Statement();

        Statement (const Statement&) = delete;
        Statement& operator= (const Statement&) = delete;

        /** Parameters count from 1. */
        Statement& bind (int index, std::string_view text);
        Statement& bind (int index, std::int64_t value);
        Statement& bindBlob (int index, const void* data, std::size_t size);
        Statement& bindNull (int index);

        /** Runs one step: true when a row is ready, false when done. */
        bool step();

        /** Runs to the end, ignoring rows. */
        void run();

        /** Clears the bindings and rewinds for another run. */
        void reset();

        std::string columnText (int column) const;
        std::int64_t columnInt (int column) const;
        bool columnIsNull (int column) const;
        std::string columnBlob (int column) const;

    private:
        std::unique_ptr<StatementBackend> backend;
    };

    /** Inside a write transaction: also takes the lock of one account's
        rows (its machines, lists and reports), which a scan of it holds
        instead of the write lock. SQLite's one writer holds everything
        already: there this does nothing. */
    void lockAccount (std::int64_t accountId);

    /** A transaction that rolls back unless commit() was called. Writers
        take the write lock at the start, so two writers wait for each
        other instead of failing on the upgrade from reading to writing.

        With `account`, a transaction that writes only that account's rows
        and reads what others committed (a scan) takes only the account's
        lock on PostgreSQL, so scans of different accounts run at once;
        SQLite takes its one write lock either way. */
    class Transaction
    {
    public:
        explicit Transaction (Database& owner, std::optional<std::int64_t> account = std::nullopt);
        ~Transaction();

        Transaction (const Transaction&) = delete;
        Transaction& operator= (const Transaction&) = delete;

        void commit();

    private:
        Database& database;
        bool open = true;
    };

private:
    const Kind databaseKind;
    const std::string shownName;
    std::unique_ptr<Backend> backend;
};
