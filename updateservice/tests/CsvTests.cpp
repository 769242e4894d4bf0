#include "base/Csv.h"

#include <gtest/gtest.h>

#include <ostream>

namespace
{
    using Records = std::vector<Csv::Record>;

    TEST (Csv, ReadsQuotedFieldsWithCommasQuotesAndLineBreaks)
    {
        const auto result = Csv::parse ("\xEF\xBB\xBFName,Vendor\r\n"
                                        "\"Verb, Deluxe\",\"Acme \"\"Pro\"\"\"\r\n"
                                        "\"two\r\nlines\",\"lf\nonly\"\n"
                                        "plain,\"\"\n");
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.records, (Records {
            { "Name", "Vendor" },
            { "Verb, Deluxe", "Acme \"Pro\"" },
            { "two\r\nlines", "lf\nonly" },
            { "plain", "" } }));
    }

    TEST (Csv, LastLineWithoutLineEndAndEmptyLines)
    {
        const auto result = Csv::parse ("a,b\n\n\r\nc,\nd");
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.records, (Records { { "a", "b" }, { "c", "" }, { "d" } }));
    }

    TEST (Csv, KeepsUtf8AndSpacesAsTheyAre)
    {
        const auto result = Csv::parse (" Caf\xC3\xA9 , x ");
        ASSERT_TRUE (result.ok);
        EXPECT_EQ (result.records, (Records { { " Caf\xC3\xA9 ", " x " } }));
    }

    struct MalformedCase
    {
        const char* text;
        const char* lineMention;
    };

    void PrintTo (const MalformedCase& c, std::ostream* out)
    {
        *out << "\"" << c.lineMention << "\"";
    }

    class CsvMalformed : public ::testing::TestWithParam<MalformedCase> {};

    TEST_P (CsvMalformed, FailsWithTheLineAndNoRecords)
    {
        const auto result = Csv::parse (GetParam().text);
        EXPECT_FALSE (result.ok);
        EXPECT_TRUE (result.records.empty());
        EXPECT_NE (result.error.find (GetParam().lineMention), std::string::npos) << result.error;
    }

    INSTANTIATE_TEST_SUITE_P (Table, CsvMalformed, ::testing::Values (
        MalformedCase { "a,b\n\"open,c\n", "line 2" },
        MalformedCase { "a,b\nx\"y,z\n", "line 2" },
        MalformedCase { "a,b\nc,d\n\"q\"x,1\n", "line 3" },
        MalformedCase { "a\rb", "line 1" },
        MalformedCase { "\"a\nb\nc\",\"d\" e", "line 3" }));

    TEST (Csv, BoundsTheFieldLength)
    {
        const std::string longField (100, 'x');
        EXPECT_TRUE (Csv::parse (longField, 100).ok);
        EXPECT_FALSE (Csv::parse (longField + "y", 100).ok);
        EXPECT_FALSE (Csv::parse ("\"" + longField + "y\"", 100).ok);
    }
}
