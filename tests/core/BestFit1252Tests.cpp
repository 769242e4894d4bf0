#include "pe/BestFit1252Table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

namespace
{
    struct Conversion
    {
        char16_t unit;
        unsigned char expected;
        const char* what;
    };

    std::ostream& operator<< (std::ostream& out, const Conversion& c)
    {
        return out << c.what;
    }

    class BestFit1252SpotChecks : public ::testing::TestWithParam<Conversion> {};

    TEST_P (BestFit1252SpotChecks, ConvertsLikeWideCharToMultiByte)
    {
        const auto& c = GetParam();
        EXPECT_EQ (static_cast<int> (bestfit::toWindows1252 (c.unit)), static_cast<int> (c.expected))
            << "U+" << std::hex << static_cast<int> (c.unit);
    }

    INSTANTIATE_TEST_SUITE_P (Units, BestFit1252SpotChecks, ::testing::Values (
        Conversion { u'\u0000', 0x00, "nul stays nul" },
        Conversion { u'\u0001', 0x01, "control SOH" },
        Conversion { u'\u0009', 0x09, "tab" },
        Conversion { u'\u000a', 0x0a, "line feed" },
        Conversion { u'\u001f', 0x1f, "control US" },
        Conversion { u'\u007f', 0x7f, "delete" },
        Conversion { u'\u0081', 0x81, "C1 control undefined in 1252" },
        Conversion { u'A',      0x41, "ASCII letter" },
        Conversion { u'?',      0x3f, "question mark itself" },
        Conversion { u'~',      0x7e, "last printable ASCII" },
        Conversion { u'\u00a0', 0xa0, "no-break space" },
        Conversion { u'\u00e9', 0xe9, "e acute" },
        Conversion { u'\u00fc', 0xfc, "u diaeresis" },
        Conversion { u'\u00a9', 0xa9, "copyright" },
        Conversion { u'\u00ae', 0xae, "registered" },
        Conversion { u'\u00b5', 0xb5, "micro sign" },
        Conversion { u'\u00ff', 0xff, "y diaeresis" },
        Conversion { u'\u20ac', 0x80, "euro sign" },
        Conversion { u'\u2122', 0x99, "trade mark" },
        Conversion { u'\u2014', 0x97, "em dash" },
        Conversion { u'\u201c', 0x93, "left double quote" },
        Conversion { u'\u0100', 0x41, "A macron best fit" },
        Conversion { u'\u0101', 0x61, "a macron best fit" },
        Conversion { u'\u015c', 0x53, "S circumflex best fit" },
        Conversion { u'\uff11', 0x31, "fullwidth digit one" },
        Conversion { u'\uff21', 0x41, "fullwidth A" },
        Conversion { u'\uff5e', 0x7e, "fullwidth tilde" },
        Conversion { u'\u2070', 0xb0, "superscript zero to degree sign" },
        Conversion { u'\u0301', 0xb4, "combining acute to acute accent" },
        Conversion { u'\u4e2d', 0x3f, "CJK has no fit" },
        Conversion { u'\u0416', 0x3f, "Cyrillic has no fit" },
        Conversion { u'\ufeff', 0x3f, "byte order mark" },
        Conversion { u'\uffff', 0x3f, "noncharacter FFFF" }
    ));

    TEST (BestFit1252, EverySurrogateIsAQuestionMark)
    {
        // Each half of a pair converts to '?', so a character outside the BMP gives "??".
        for (std::uint32_t u = 0xd800; u <= 0xdfff; ++u)
            ASSERT_EQ (bestfit::toWindows1252 (static_cast<char16_t> (u)), '?') << std::hex << u;
    }

    TEST (BestFit1252, AsciiAndLatin1MapToThemselves)
    {
        for (std::uint32_t u = 0; u < 0x80; ++u)
            ASSERT_EQ (bestfit::toWindows1252 (static_cast<char16_t> (u)), u) << std::hex << u;

        for (std::uint32_t u = 0xa0; u <= 0xff; ++u)
            ASSERT_EQ (bestfit::toWindows1252 (static_cast<char16_t> (u)), u) << std::hex << u;
    }

    TEST (BestFit1252, Windows1252ExtrasMapToTheirBytes)
    {
        // The 27 characters that Windows-1252 puts in 0x80-0x9F.
        struct Pair { char16_t unit; unsigned char byte; };
        const Pair extras[] =
        {
            { u'\u20ac', 0x80 }, { u'\u201a', 0x82 }, { u'\u0192', 0x83 }, { u'\u201e', 0x84 },
            { u'\u2026', 0x85 }, { u'\u2020', 0x86 }, { u'\u2021', 0x87 }, { u'\u02c6', 0x88 },
            { u'\u2030', 0x89 }, { u'\u0160', 0x8a }, { u'\u2039', 0x8b }, { u'\u0152', 0x8c },
            { u'\u017d', 0x8e }, { u'\u2018', 0x91 }, { u'\u2019', 0x92 }, { u'\u201c', 0x93 },
            { u'\u201d', 0x94 }, { u'\u2022', 0x95 }, { u'\u2013', 0x96 }, { u'\u2014', 0x97 },
            { u'\u02dc', 0x98 }, { u'\u2122', 0x99 }, { u'\u0161', 0x9a }, { u'\u203a', 0x9b },
            { u'\u0153', 0x9c }, { u'\u017e', 0x9e }, { u'\u0178', 0x9f }
        };

        for (const auto& e : extras)
            EXPECT_EQ (static_cast<int> (bestfit::toWindows1252 (e.unit)), static_cast<int> (e.byte))
                << std::hex << static_cast<int> (e.unit);
    }

    TEST (BestFit1252, BestFitsNeverProduceUnexpectedControls)
    {
        // Outside ASCII, a best fit is a printable character or '?': a table
        // that put a control byte there would hand control characters to the
        // inventory file.
        for (std::uint32_t u = 0x100; u <= 0xffff; ++u)
        {
            const auto b = bestfit::toWindows1252 (static_cast<char16_t> (u));
            ASSERT_TRUE (b >= 0x20 && b != 0x7f) << std::hex << u << " -> " << static_cast<int> (b);
        }
    }
}
