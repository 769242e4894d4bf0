#pragma once

#include "store/Database.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

/**
    What each kind of database does behind Database; for the store's own
    files only. Failures throw Database::Error.
*/
class Database::StatementBackend
{
public:
    virtual ~StatementBackend() = default;

    virtual void bindText (int index, std::string_view text) = 0;
    virtual void bindInt (int index, std::int64_t value) = 0;
    virtual void bindBlob (int index, const void* data, std::size_t size) = 0;
    virtual void bindNull (int index) = 0;

    virtual bool step() = 0;
    virtual void reset() = 0;

    virtual std::string columnText (int column) const = 0;
    virtual std::int64_t columnInt (int column) const = 0;
    virtual bool columnIsNull (int column) const = 0;
    virtual std::string columnBlob (int column) const = 0;
};

class Database::Backend
{
public:
    virtual ~Backend() = default;

    virtual void execute (const char* sql) = 0;
    virtual std::unique_ptr<StatementBackend> prepare (std::string_view sql) = 0;

    /** A write transaction: its writers take turns with every other
        connection's. */
    virtual void begin (std::optional<std::int64_t> account) = 0;
    virtual void lockAccount (std::int64_t accountId) = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;

    virtual int changes() const = 0;
    virtual bool isUsable() const = 0;
};

std::unique_ptr<Database::Backend> openSqlite (const std::string& path);
std::unique_ptr<Database::Backend> openPostgres (const std::string& connectionString);
