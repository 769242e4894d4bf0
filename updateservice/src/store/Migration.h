#pragma once

#include "store/Database.h"

#include <cstdint>
#include <string>
#include <vector>

/**
    Moves a service from SQLite to PostgreSQL: copies every table of a
    SQLite database into an empty PostgreSQL database.

    Both are brought up to the current schema version first (the notes of
    that go to the caller). The SQLite database is read under its write
    lock, so a service still running on it cannot change it half way; the
    copy is one transaction of the PostgreSQL database, so it is all there
    or none of it is. Identifiers are kept (accounts keep their user ids),
    and the PostgreSQL counters are moved past them.
*/
class Migration
{
public:
    struct Copied
    {
        std::string table;
        std::int64_t rows = 0;
    };

    /** Copies `from` (SQLite) into `to` (PostgreSQL) and returns the rows
        of each table. Throws Database::Error, changing nothing in `to`,
        when `to` is not empty, when either is not of its kind, or when a
        table's rows come out in a different number than went in. `notes`
        gets what the schema steps noted. */
    static std::vector<Copied> copy (Database& from, Database& to, std::vector<std::string>& notes);
};
