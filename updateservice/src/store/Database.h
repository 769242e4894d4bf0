#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

/**
    One SQLite connection to the service's store, opened in WAL mode with a
    busy time-out so that several connections (one per request being served)
    can read while one writes.

    A connection is not thread-safe: use it from one thread at a time (the
    ConnectionPool hands each request its own). Failures of SQLite throw
    Database::Error; the request handlers catch it and answer with a
    generic error, so no SQL text ever reaches a client.
*/
class Database
{
public:
    class Error : public std::runtime_error
    {
    public:
        /** `code` is SQLite's extended result code, 0 for failures of
            this program's own checks. */
        explicit Error (const std::string& what, int code = 0);

        /** True when there was no room for what was to be written: the
            disk (or the database's size limit) is full. Nothing of the
            failed statement or transaction was kept. */
        bool isFull() const noexcept;

        int code() const noexcept { return resultCode; }

    private:
        int resultCode = 0;
    };

    /** Opens (and creates, when missing) the database file. Throws
        Database::Error when it cannot be opened. The tables are Schema's
        business. */
    explicit Database (const std::string& path);
    ~Database();

    Database (const Database&) = delete;
    Database& operator= (const Database&) = delete;

    /** Runs SQL without parameters (schema and pragmas only). */
    void execute (const char* sql);

    /** The file as it was given to the constructor. */
    const std::string& path() const noexcept { return filePath; }

    std::int64_t lastInsertId() const;
    int changes() const;

    /** A prepared statement. Every value from outside goes in through
        bind(); SQL text is never built from data. */
    class Statement
    {
    public:
        Statement (Database& owner, std::string_view sql);
        ~Statement();

        Statement (const Statement&) = delete;
        Statement& operator= (const Statement&) = delete;

        /** Parameters count from 1, as in SQLite. */
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
        Database& database;
        sqlite3_stmt* statement = nullptr;
    };

    /** A transaction that rolls back unless commit() was called. Writers
        take the write lock at the start (BEGIN IMMEDIATE), so two writers
        wait for each other instead of failing on the upgrade from reading
        to writing. */
    class Transaction
    {
    public:
        explicit Transaction (Database& owner);
        ~Transaction();

        Transaction (const Transaction&) = delete;
        Transaction& operator= (const Transaction&) = delete;

        void commit();

    private:
        Database& database;
        bool open = true;
    };

private:
    [[noreturn]] void fail (const char* what) const;

    const std::string filePath;
    sqlite3* connection = nullptr;
};
