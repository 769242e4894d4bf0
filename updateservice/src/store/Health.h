#pragma once

#include <chrono>
#include <string>

/**
    Whether the store answers, for the service's health check.

    The check opens a connection of its own to the database file (never
    creating it) and reads the schema table, with a short busy time-out so
    that it cannot hang. A connection the pool keeps open would go on
    answering from its open file after the file was removed or replaced,
    while every connection opened afresh fails; the check sees what a new
    connection sees.
*/
struct StoreHealth
{
    bool ok = false;
    std::string problem;   ///< SQLite's reason when not ok, for the log only

    static StoreHealth ofDatabase (const std::string& path,
                                   std::chrono::milliseconds busyTimeout = std::chrono::milliseconds (1000));
};
