#include "base/VersionNumber.h"

#include <gtest/gtest.h>

#include <ostream>

namespace
{
    struct CleaningCase
    {
        const char* raw;
        const char* cleaned;
    };

    void PrintTo (const CleaningCase& c, std::ostream* out)
    {
        *out << "\"" << c.raw << "\"";
    }

    class VersionCleaning : public ::testing::TestWithParam<CleaningCase> {};

    TEST_P (VersionCleaning, GivesTheApplicationsDecimalForm)
    {
        EXPECT_EQ (VersionNumber::clean (GetParam().raw), GetParam().cleaned);
    }

    INSTANTIATE_TEST_SUITE_P (Table, VersionCleaning, ::testing::Values (
        CleaningCase { "1.2.3", "1.23" },
        CleaningCase { "2, 0, 1, 5", "2.015" },
        CleaningCase { "1,0,0,1", "1.001" },
        CleaningCase { "ver 3.0 build 17", "3.017" },
        CleaningCase { "4.10", "4.10" },
        CleaningCase { "12", "12" },
        CleaningCase { "", "" },
        CleaningCase { ".", "." },
        CleaningCase { "v.1.2", ".12" },
        CleaningCase { "1.04", "1.04" },
        CleaningCase { "\xC3\xA9" "2.5\xC3\xA9", "2.5" }));

    TEST (VersionCleaning, IsIdempotent)
    {
        for (const auto* raw : { "1.2.3", "2, 0, 1, 5", "x", "9..9", "7" })
        {
            const auto once = VersionNumber::clean (raw);
            EXPECT_EQ (VersionNumber::clean (once), once) << raw;
        }
    }

    struct ComparisonCase
    {
        const char* left;
        const char* right;
        int expected;
    };

    void PrintTo (const ComparisonCase& c, std::ostream* out)
    {
        *out << "\"" << c.left << " vs " << c.right << "\"";
    }

    class VersionComparison : public ::testing::TestWithParam<ComparisonCase> {};

    TEST_P (VersionComparison, OrdersAsExactDecimals)
    {
        const auto& c = GetParam();
        const auto sign = [] (int v) { return (v > 0) - (v < 0); };

        EXPECT_EQ (sign (VersionNumber::compare (c.left, c.right)), c.expected) << c.left << " vs " << c.right;
        EXPECT_EQ (sign (VersionNumber::compare (c.right, c.left)), -c.expected) << c.right << " vs " << c.left;
    }

    INSTANTIATE_TEST_SUITE_P (Table, VersionComparison, ::testing::Values (
        ComparisonCase { "4.10", "4.1", 0 },
        ComparisonCase { ".", "0", 0 },
        ComparisonCase { ".", "0.000", 0 },
        ComparisonCase { "007.5", "7.50", 0 },
        ComparisonCase { "1.04", "1.05", -1 },
        ComparisonCase { "1.5", "1.41", 1 },          // a decimal, not a dotted version
        ComparisonCase { "10.0", "9.99", 1 },
        ComparisonCase { "2.50", "2.5", 0 },
        ComparisonCase { "0.5", "0.51", -1 },
        ComparisonCase { "12", "11.999", 1 },
        ComparisonCase { "99999999999999999999.1", "99999999999999999999.09", 1 },
        ComparisonCase { "1.000000000000000000001", "1", 1 }));

    TEST (VersionNumber, EmptyTextIsNotUsable)
    {
        EXPECT_FALSE (VersionNumber::isUsable (""));
        EXPECT_TRUE (VersionNumber::isUsable ("."));
        EXPECT_TRUE (VersionNumber::isUsable ("3"));
    }
}
