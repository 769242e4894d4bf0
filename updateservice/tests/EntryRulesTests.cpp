#include "domain/EntryRules.h"

#include <gtest/gtest.h>

#include <ostream>

namespace
{
    struct PasswordCase
    {
        const char* password;
        bool acceptable;
    };

    void PrintTo (const PasswordCase& c, std::ostream* out)
    {
        *out << "\"" << c.password << "\"";
    }

    class PasswordRule : public ::testing::TestWithParam<PasswordCase> {};

    TEST_P (PasswordRule, MatchesTheSignUpRule)
    {
        EXPECT_EQ (EntryRules::checkPassword (GetParam().password).empty(), GetParam().acceptable)
            << GetParam().password;
    }

    INSTANTIATE_TEST_SUITE_P (Table, PasswordRule, ::testing::Values (
        PasswordCase { "Passw0rd!", true },
        PasswordCase { "Aa1!Aa1!", true },                 // exactly eight
        PasswordCase { "Aa1!Aa1", false },                 // seven
        PasswordCase { "Aa1!", false },
        PasswordCase { "Password1", false },               // no symbol
        PasswordCase { "password1!", false },              // no capital
        PasswordCase { "PASSWORD1!", false },              // no small letter
        PasswordCase { "Password!!", false },              // no digit
        PasswordCase { "Pass word1", false },              // a space is no symbol
        PasswordCase { "P\xC3\xA4ssw0rd\xC2\xA7", false }, // non-ASCII letters and symbols count for nothing
        PasswordCase { "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9" "Aa1~", true }, // eight code points
        PasswordCase { "Aa1~\xC3\xA9\xC3\xA9\xC3\xA9", false },   // seven code points, ten bytes
        PasswordCase { "Aa1~\xC3\xA9\xC3\xA9", false },    // six code points, eight bytes
        PasswordCase { "Aa1\\aaaa", true },
        PasswordCase { "Aa1`aaaa", true },
        PasswordCase { "Aa1\xFF" "aaaaa", false },         // not UTF-8
        PasswordCase { "", false }));

    TEST (EntryRules, EveryAsciiPunctuationCharacterIsASymbol)
    {
        EXPECT_EQ (EntryRules::symbols.size(), 32u);

        for (char c = 0x21; c < 0x7f; ++c)
        {
            const bool isLetterOrDigit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            EXPECT_EQ (EntryRules::symbols.find (c) != std::string_view::npos, ! isLetterOrDigit) << c;
        }
    }

    struct EmailCase
    {
        const char* email;
        bool acceptable;
    };

    void PrintTo (const EmailCase& c, std::ostream* out)
    {
        *out << "\"" << c.email << "\"";
    }

    class EmailRule : public ::testing::TestWithParam<EmailCase> {};

    TEST_P (EmailRule, IsOneMailbox)
    {
        EXPECT_EQ (EntryRules::checkEmail (GetParam().email).empty(), GetParam().acceptable) << GetParam().email;
    }

    INSTANTIATE_TEST_SUITE_P (Table, EmailRule, ::testing::Values (
        EmailCase { "ann@example.com", true },
        EmailCase { ".@", false },
        EmailCase { "ann@example", false },
        EmailCase { "ann.example.com", false },
        EmailCase { "", false },
        EmailCase { "ann@example.com\r\nBcc: x@y.z", false },
        EmailCase { "\xC3\xA4nn@example.com", true },
        EmailCase { "o'neil+cobaltline@sub.example.co.uk", true },
        EmailCase { "ann@b\xC3\xBC" "cher.de", true },                   // an international domain
        EmailCase { "\xEF\xBD\x81nn@example.com", true },               // fullwidth: the key makes it "ann"
        EmailCase { "a@x.com, b@y.org", false },                        // a list
        EmailCase { "a@x.com,b@y.org", false },
        EmailCase { "\"Boss\" <c@z.biz>", false },                       // a name and brackets
        EmailCase { "<c@z.biz>", false },
        EmailCase { "a@b@example.com", false },
        EmailCase { " ann@example.com", false },                        // spaces
        EmailCase { "ann@example.com ", false },
        EmailCase { "ann\xC2\xA0@example.com", false },                 // no-break space
        EmailCase { "an\xE2\x80\x8Bn@example.com", false },             // zero-width space
        EmailCase { "ann@exa\xC2\xADmple.com", false },                 // soft hyphen
        EmailCase { "ann@example.com\xE2\x80\x8E", false },             // direction mark
        EmailCase { "ann@example.com.", false },                        // trailing dot
        EmailCase { "ann@example..com", false },
        EmailCase { "ann@-example.com", false },
        EmailCase { "ann@exa_mple.com", false },
        EmailCase { ".ann@example.com", false },
        EmailCase { "a..nn@example.com", false }));

    TEST (EntryRules, NamesAndTheDeveloperFlag)
    {
        EXPECT_TRUE (EntryRules::checkName ("  ", "first name").empty());   // spaces are a name
        EXPECT_FALSE (EntryRules::checkName ("", "first name").empty());
        EXPECT_FALSE (EntryRules::checkName ("a\nb", "first name").empty());
        EXPECT_FALSE (EntryRules::checkName (std::string (201, 'x'), "first name").empty());

        EXPECT_TRUE (EntryRules::checkDeveloperFlag ("0").empty());
        EXPECT_TRUE (EntryRules::checkDeveloperFlag ("1").empty());
        EXPECT_FALSE (EntryRules::checkDeveloperFlag ("yes").empty());
        EXPECT_FALSE (EntryRules::checkDeveloperFlag ("").empty());
    }
}
