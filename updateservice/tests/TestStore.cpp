#include "TestStore.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace
{
    std::string clusterUrl()
    {
        if (const auto* url = std::getenv ("COBALTLINE_TEST_POSTGRES"); url != nullptr && *url != 0)
            return url;

        if (const auto* state = std::getenv ("COBALTLINE_TEST_POSTGRES_STATE"); state != nullptr)
        {
            std::ifstream file (state);

            for (std::string line; std::getline (file, line);)
                if (line.rfind ("url=", 0) == 0)
                    return line.substr (4);
        }

        throw std::runtime_error ("no PostgreSQL cluster for the tests: run them through ctest, which starts one, "
                                  "or set COBALTLINE_TEST_POSTGRES to a connection string");
    }
}

TestStore::TestStore (Database::Kind kind)
    : storeKind (kind)
{
    if (kind == Database::Kind::sqlite)
    {
        where = (folder.path() / "service.db").string();
        return;
    }

    static std::atomic<int> made { 0 };
    schema = "test_" + std::to_string (getpid()) + "_" + std::to_string (++made);
    const auto url = clusterUrl();

    Database admin (url);
    admin.execute (("DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema).c_str());
    where = url + (url.find ('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
}

TestStore::~TestStore()
{
    if (schema.empty())
        return;

    try
    {
        Database admin (clusterUrl());
        admin.execute (("DROP SCHEMA IF EXISTS " + schema + " CASCADE").c_str());
    }
    catch (const std::exception&)
    {
        // The cluster goes at the end of the run anyway.
    }
}

std::string TestStore::nameOf (const ::testing::TestParamInfo<Database::Kind>& info)
{
    return info.param == Database::Kind::sqlite ? "SQLite" : "PostgreSQL";
}
