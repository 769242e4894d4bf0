#pragma once

#include "store/Database.h"
#include "store/Health.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

/**
    Hands out database connections to the threads that serve requests. A
    connection is opened on first need and returned to the pool when its
    Lease ends, so the number of open connections grows to the number of
    requests served at once and no further.

    acquire() may be called from any thread; a Lease and its connection
    belong to the thread that holds them.
*/
class ConnectionPool
{
public:
    explicit ConnectionPool (std::string databasePath);

    class Lease
    {
    public:
        Lease (ConnectionPool& owner, std::unique_ptr<Database> leased);
        ~Lease();

        Lease (Lease&&) noexcept = default;
        Lease (const Lease&) = delete;
        Lease& operator= (const Lease&) = delete;
        Lease& operator= (Lease&&) = delete;

        Database& operator*() const noexcept { return *database; }
        Database* operator->() const noexcept { return database.get(); }

    private:
        ConnectionPool* pool;
        std::unique_ptr<Database> database;
    };

    /** A connection for the caller's exclusive use. Throws Database::Error
        when a new connection cannot be opened. */
    Lease acquire();

    const std::string& path() const noexcept { return databasePath; }

    /** Whether a new connection to the database answers a trivial query
        within a short time (see StoreHealth); from any thread. */
    StoreHealth health() const { return StoreHealth::ofDatabase (databasePath); }

private:
    void giveBack (std::unique_ptr<Database> database);

    const std::string databasePath;
    std::mutex lock;
    std::vector<std::unique_ptr<Database>> idle;
};
