#include "domain/FormDecoding.h"

#include <gtest/gtest.h>

#include <ostream>

namespace
{
    TEST (FormDecoding, ReadsTheApplicationsLowerCaseEscapesInOrder)
    {
        const auto form = FormDecoding::parse ("registerpost=true&email=a%20b%2bc%40d.e"
                                               "&password=p%23%26*!'()%7e%c3%a9&firstname=");

        ASSERT_EQ (form.fields().size(), 4u);
        EXPECT_EQ (form.firstName(), "registerpost");
        EXPECT_EQ (form.valueOf ("registerpost"), "true");
        EXPECT_EQ (form.valueOf ("email"), "a b+c@d.e");
        EXPECT_EQ (form.valueOf ("password"), "p#&*!'()~\xC3\xA9");
        ASSERT_TRUE (form.get ("firstname").has_value());
        EXPECT_EQ (*form.get ("firstname"), "");
        EXPECT_FALSE (form.get ("lastname").has_value());
    }

    struct ComponentCase
    {
        const char* encoded;
        const char* decoded;
    };

    void PrintTo (const ComponentCase& c, std::ostream* out)
    {
        *out << "\"" << c.encoded << "\"";
    }

    class FormComponent : public ::testing::TestWithParam<ComponentCase> {};

    TEST_P (FormComponent, Decodes)
    {
        EXPECT_EQ (FormDecoding::decodeComponent (GetParam().encoded), GetParam().decoded);
    }

    INSTANTIATE_TEST_SUITE_P (Table, FormComponent, ::testing::Values (
        ComponentCase { "%41%4a%4A", "AJJ" },
        ComponentCase { "a+b", "a b" },
        ComponentCase { "%2B", "+" },
        ComponentCase { "100%", "100%" },        // broken escapes stay as they are
        ComponentCase { "%zz%4", "%zz%4" },
        ComponentCase { "%", "%" }));

    TEST (FormDecoding, NulBytesSurviveDecoding)
    {
        EXPECT_EQ (FormDecoding::decodeComponent ("%00x"), std::string ("\0x", 2));
    }

    TEST (FormDecoding, EdgesOfTheBody)
    {
        const auto form = FormDecoding::parse ("&&empty&a=1=2&=v&a=second&");
        ASSERT_EQ (form.fields().size(), 4u);
        EXPECT_EQ (form.firstName(), "empty");
        EXPECT_EQ (form.valueOf ("empty"), "");
        EXPECT_EQ (form.valueOf ("a"), "1=2");   // the first of repeated names wins
        EXPECT_EQ (form.valueOf (""), "v");

        EXPECT_TRUE (FormDecoding::parse ("").fields().empty());
        EXPECT_EQ (FormDecoding::parse ("").firstName(), "");
    }
}
