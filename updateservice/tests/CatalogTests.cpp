#include "store/Catalog.h"
#include "store/Database.h"
#include "base/PluginFormat.h"
#include "store/Schema.h"
#include "ServiceProcess.h"
#include "TestStore.h"

#include <gtest/gtest.h>

#include <cctype>

namespace
{
    class CatalogTest : public ::testing::TestWithParam<Database::Kind>
    {
    protected:
        CatalogTest()
            : db (store.location())
        {
            Schema::bringUpToDate (db);
        }

        std::int64_t rowCount()
        {
            Database::Statement count (db, "SELECT COUNT(*) FROM catalog");
            count.step();
            return count.columnInt (0);
        }

        TestStore store { GetParam() };
        Database db;
    };

    TEST_P (CatalogTest, ImportsCleansAndUpdatesWithoutRegardToCase)
    {
        auto result = Catalog::importCsv (db, "\xEF\xBB\xBFName,Vendor,Format,Version,Website\r\n"
                                              "\"Verb, Deluxe\",Acme,VST,\"2, 5, 0\",https://example.com/verb\r\n"
                                              "Verb Deluxe,Acme,AAX,2.4,\r\n");
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.rows, 2u);

        result = Catalog::importCsv (db, "name,vendor,format,version,website\n"
                                         "VERB, DELUXE,ACME,vst,3.0.1,https://example.com/verb3\n");
        EXPECT_FALSE (result.ok);   // the unquoted comma makes six fields
        EXPECT_NE (result.error.find ("expected 5 fields"), std::string::npos) << result.error;

        result = Catalog::importCsv (db, "name,vendor,format,version,website\n"
                                         "\"VERB, DELUXE\",ACME,vst,3.0.1,https://example.com/verb3\n");
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (rowCount(), 2);

        Catalog::Lookup lookup (db);
        const auto vst = lookup.find ("verb, deluxe", "acme", "vst");
        ASSERT_TRUE (vst.has_value());
        EXPECT_EQ (vst->version, "3.01");
        EXPECT_EQ (vst->website, "https://example.com/verb3");

        // A differently named plug-in (no comma) without a site keeps an empty one.
        const auto aax = lookup.find ("verb deluxe", "acme", "aax");
        ASSERT_TRUE (aax.has_value());
        EXPECT_EQ (aax->version, "2.4");
        EXPECT_EQ (aax->website, "");
        EXPECT_FALSE (lookup.find ("unknown", "acme", "vst").has_value());
    }

    // A release of one format is no update for another: each format is a
    // row of its own, with its own web site.
    TEST_P (CatalogTest, EachFormatAnswersWithItsOwnRow)
    {
        ASSERT_TRUE (Catalog::importCsv (db, "Name,Vendor,Format,Version,Website\n"
                                             "Synth,Maker,VST,4.10,https://example.com/vst\n"
                                             "Synth,Maker,VST3,5.0,https://example.com/vst3\n"
                                             "Synth,Maker,AU,4.9,https://example.com/au\n"
                                             "Synth,Maker,AAX,4.1,\n").ok);

        Catalog::Lookup lookup (db);
        const auto aax = lookup.find ("synth", "maker", "aax");
        ASSERT_TRUE (aax.has_value());
        EXPECT_EQ (aax->version, "4.1");
        EXPECT_EQ (aax->website, "");

        const auto vst = lookup.find ("synth", "maker", PluginFormat::key ("VST"));
        ASSERT_TRUE (vst.has_value());
        EXPECT_EQ (vst->version, "4.10");
        EXPECT_EQ (vst->website, "https://example.com/vst");

        const auto vst3 = lookup.find ("synth", "maker", PluginFormat::key ("vSt3"));
        ASSERT_TRUE (vst3.has_value());
        EXPECT_EQ (vst3->version, "5.0");

        EXPECT_FALSE (lookup.find ("synth", "maker", "clap").has_value());
    }

    // Older programs sent no format for their VST plug-ins; a catalog row
    // without one is the VST row, the same one "VST" names.
    TEST_P (CatalogTest, ARowWithoutAFormatIsTheVstRow)
    {
        ASSERT_TRUE (Catalog::importCsv (db, "Name,Vendor,Format,Version,Website\nPad,Maker,,1.2,\n").ok);
        ASSERT_TRUE (Catalog::importCsv (db, "Name,Vendor,Format,Version,Website\nPad,Maker,vst,1.3,\n").ok);
        EXPECT_EQ (rowCount(), 1);

        Catalog::Lookup lookup (db);
        const auto entry = lookup.find ("pad", "maker", PluginFormat::key (""));
        ASSERT_TRUE (entry.has_value());
        EXPECT_EQ (entry->version, "1.3");
    }

    struct FaultyCase
    {
        const char* label;
        const char* csv;
        const char* mention;
    };

    // Checked before anything is written: one store will do.
    class CatalogFaulty : public ::testing::TestWithParam<FaultyCase>
    {
    protected:
        CatalogFaulty()
        {
            Schema::bringUpToDate (db);
        }

        std::int64_t rowCount()
        {
            Database::Statement count (db, "SELECT COUNT(*) FROM catalog");
            count.step();
            return count.columnInt (0);
        }

        TestStore store { Database::Kind::sqlite };
        Database db { store.location() };
    };

    TEST_P (CatalogFaulty, ChangesNothing)
    {
        ASSERT_TRUE (Catalog::importCsv (db, "Name,Vendor,Format,Version,Website\nKeep,Me,VST,1.0,\n").ok);

        const auto result = Catalog::importCsv (db, GetParam().csv);
        EXPECT_FALSE (result.ok);
        EXPECT_NE (result.error.find (GetParam().mention), std::string::npos) << result.error;
        EXPECT_EQ (rowCount(), 1);
    }

    INSTANTIATE_TEST_SUITE_P (Table, CatalogFaulty, ::testing::Values (
        FaultyCase { "empty", "", "empty" },
        FaultyCase { "header", "Name,Vendor,Version\nA,B,1.0\n", "header" },
        FaultyCase { "open quote", "Name,Vendor,Format,Version,Website\nA,B,VST,1.0,\nC,\"D,VST,1.0,\n", "not closed" },
        FaultyCase { "no name", "Name,Vendor,Format,Version,Website\nA,B,VST,1.0,\n,B,VST,1.0,\n", "Name is empty" },
        FaultyCase { "no version", "Name,Vendor,Format,Version,Website\nA,B,VST,beta,\n", "holds no number" },
        FaultyCase { "script site", "Name,Vendor,Format,Version,Website\nA,B,VST,1.0,javascript:alert(1)\n", "Website" },
        FaultyCase { "unknown format", "Name,Vendor,Format,Version,Website\nA,B,VST,1.0,\nA,B,VST 3,1.0,\n",
                     "Format \"VST 3\" is not one of VST, VST3, CLAP, AAX, AU, RTAS/TDM" },
        FaultyCase { "bad UTF-8", "Name,Vendor,Format,Version,Website\nA\xFF,B,VST,1.0,\n", "UTF-8" }),
        [] (const ::testing::TestParamInfo<FaultyCase>& testInfo)
        {
            std::string name;

            for (const auto c : std::string (testInfo.param.label))
                name += std::isalnum (static_cast<unsigned char> (c)) ? c : '_';

            return name;
        });

    COBALTLINE_ON_BOTH_STORES (CatalogTest);
}
