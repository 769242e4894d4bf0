#pragma once

#include <chrono>
#include <string>

/**
    Whether the store answers, for the service's health check.

    The check opens a connection of its own and reads the schema's
    version, with short time-outs so that it cannot hang. For SQLite it
    opens the file (never creating it): a connection the pool keeps open
    would go on answering from its open file after the file was removed or
    replaced, while every connection opened afresh fails; the check sees
    what a new connection sees. For PostgreSQL it connects anew, so a
    server that is down or refuses connections fails the check.
*/
struct StoreHealth
{
    bool ok = false;
    std::string problem;   ///< the database's reason when not ok, for the log only

    static StoreHealth ofDatabase (const std::string& location,
                                   std::chrono::milliseconds busyTimeout = std::chrono::milliseconds (1000));
};
