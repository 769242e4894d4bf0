#pragma once

#include "store/Database.h"
#include "ServiceProcess.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

/**
    The database a test's store lives in: a SQLite file in a temporary
    folder, or a schema of its own in the PostgreSQL database of the
    tests' throw-away cluster (see postgres_cluster.sh), dropped at the
    end.

    The cluster's connection string comes from COBALTLINE_TEST_POSTGRES,
    or from the "url=" line of the file that COBALTLINE_TEST_POSTGRES_STATE
    names (ctest sets that one).
*/
class TestStore
{
public:
    explicit TestStore (Database::Kind kind);
    ~TestStore();

    TestStore (const TestStore&) = delete;
    TestStore& operator= (const TestStore&) = delete;

    /** What --db takes: the file, or the connection string. */
    const std::string& location() const noexcept { return where; }

    Database::Kind kind() const noexcept { return storeKind; }

    /** "SQLite" or "PostgreSQL", for the names of parameterised tests. */
    static std::string nameOf (const ::testing::TestParamInfo<Database::Kind>& info);

private:
    const Database::Kind storeKind;
    TemporaryFolder folder;
    std::string schema, where;
};

/** Names the kind in the test's description. */
inline void PrintTo (Database::Kind kind, std::ostream* stream)
{
    *stream << (kind == Database::Kind::sqlite ? "SQLite" : "PostgreSQL");
}

/** Both kinds of store, for INSTANTIATE_TEST_SUITE_P. */
#define COBALTLINE_ON_BOTH_STORES(fixture) \
    INSTANTIATE_TEST_SUITE_P (Stores, fixture, ::testing::Values (Database::Kind::sqlite, Database::Kind::postgresql), \
                              TestStore::nameOf)
