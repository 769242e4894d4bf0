#include "store/Health.h"

#include "store/Database.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace
{
    struct CloseConnection
    {
        void operator() (sqlite3* connection) const noexcept { sqlite3_close_v2 (connection); }
    };

    struct Finalize
    {
        void operator() (sqlite3_stmt* statement) const noexcept { sqlite3_finalize (statement); }
    };

    StoreHealth failed (std::string problem)
    {
        return { false, std::move (problem) };
    }

    StoreHealth ofPostgres (const std::string& location, std::chrono::milliseconds timeout)
    {
        const auto seconds = std::max<long long> (1, std::chrono::duration_cast<std::chrono::seconds> (timeout).count());
        const auto withTimeout = location + (location.find ('?') == std::string::npos ? "?" : "&")
                               + "connect_timeout=" + std::to_string (seconds);

        try
        {
            Database db (withTimeout);
            db.execute (("SET statement_timeout = " + std::to_string (timeout.count())).c_str());
            Database::Statement query (db, "SELECT count(*) FROM schema_version");
            query.step();
            return { true, {} };
        }
        catch (const Database::Error& e)
        {
            return failed (e.what());
        }
    }
}

StoreHealth StoreHealth::ofDatabase (const std::string& path, std::chrono::milliseconds busyTimeout)
{
    if (Database::kindOf (path) == Database::Kind::postgresql)
        return ofPostgres (path, busyTimeout);

    sqlite3* opened = nullptr;
    const auto openResult = sqlite3_open_v2 (path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    const std::unique_ptr<sqlite3, CloseConnection> connection (opened);

    if (connection == nullptr)
        return failed ("out of memory");

    if (openResult != SQLITE_OK)
        return failed (sqlite3_errmsg (connection.get()));

    sqlite3_busy_timeout (connection.get(), static_cast<int> (busyTimeout.count()));

    // Preparing reads the schema, and counting it reads the file: a file
    // that is gone, unreadable or not a database fails here.
    sqlite3_stmt* prepared = nullptr;
    const auto prepareResult = sqlite3_prepare_v2 (connection.get(), "SELECT count(*) FROM sqlite_master", -1,
                                                   &prepared, nullptr);
    const std::unique_ptr<sqlite3_stmt, Finalize> statement (prepared);

    if (prepareResult != SQLITE_OK)
        return failed (sqlite3_errmsg (connection.get()));

    if (sqlite3_step (statement.get()) != SQLITE_ROW)
        return failed (sqlite3_errmsg (connection.get()));

    return { true, {} };
}
