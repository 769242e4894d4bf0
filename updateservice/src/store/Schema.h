#pragma once

#include "store/Database.h"

#include <string>
#include <vector>

/**
    The layout of the service's database and the steps that bring any
    older database up to it. A SQLite database keeps the version it is at
    in its header (SQLite's "user_version"); 0 means a database that has no
    tables yet, or one written before the version was kept, whose tables
    are those of version 1. A PostgreSQL database keeps it in the table
    "schema_version"; those begin at version 6, whose layout they get in
    one step, and take every later step as SQLite databases do.

    Each step runs in its own write transaction, which also records the
    version the step reaches, so a database is always at one version or
    the next, never in between. Several processes may bring the same
    database up to date at once: a step that another process took
    meanwhile is not taken again.

    Use from the thread that owns the connection.
*/
class Schema
{
public:
    /** The version this program writes and reads. */
    static constexpr int currentVersion = 8;

    /** Takes every step from the database's version up to currentVersion.
        Returns notes for the log about what the steps found (accounts
        whose addresses now compare as the same, say). Throws
        Database::Error, leaving the database as it was, when its version
        is newer than this program knows, and when a step fails (the steps
        before it stay done). */
    static std::vector<std::string> bringUpToDate (Database& db);

    /** The version recorded in the database. */
    static int versionOf (Database& db);
};
