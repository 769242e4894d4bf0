#include "pe/PeImage.h"
#include "pe/PeVersionReader.h"
#include "../support/PeImageBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using petest::Bytes;
using petest::PeImageBuilder;
using petest::VersionNode;

namespace pe
{
    // Readable failure messages.
    void PrintTo (VersionStatus status, std::ostream* os)
    {
        *os << (status == VersionStatus::complete ? "complete"
                : status == VersionStatus::incomplete ? "incomplete" : "noVersionInfo");
    }
}

namespace
{
    using pe::VersionStatus;

    struct Expected
    {
        std::string name, version, vendor;
        VersionStatus status;
    };

    pe::VersionStrings readImage (const Bytes& image)
    {
        pe::MemorySource source (image.data(), image.size());
        return pe::readVersionStrings (source);
    }

    std::optional<pe::VersionInfo> infoOf (const Bytes& image)
    {
        pe::MemorySource source (image.data(), image.size());
        return pe::VersionInfo::read (source);
    }

    Bytes imageWith (const Bytes& block, bool pe32Plus = false)
    {
        return PeImageBuilder (pe32Plus).addVersion (block).build();
    }

    Bytes imageWith (const VersionNode& root)
    {
        return imageWith (root.serialise());
    }

    std::optional<std::string> query (const VersionNode& root, std::string_view table, std::string_view key)
    {
        const auto info = infoOf (imageWith (root));
        return info.has_value() ? info->queryString (table, key) : std::optional<std::string> {};
    }

    VersionNode table (const std::u16string& name, std::vector<VersionNode> entries)
    {
        return petest::stringTable (name, std::move (entries));
    }

    VersionNode entry (const std::u16string& key, const std::u16string& value)
    {
        return petest::stringEntry (key, value);
    }

    VersionNode root (std::vector<VersionNode> tables)
    {
        return petest::versionRoot ({ petest::stringFileInfo (std::move (tables)) });
    }

    void expectStrings (const pe::VersionStrings& actual, const Expected& expected)
    {
        EXPECT_EQ (actual.name, expected.name);
        EXPECT_EQ (actual.version, expected.version);
        EXPECT_EQ (actual.vendor, expected.vendor);
        EXPECT_EQ (actual.status, expected.status);
    }

    const Expected noInfo { "", "", "", VersionStatus::noVersionInfo };
}

//==============================================================================
class BothBitnesses : public ::testing::TestWithParam<bool> {};

TEST_P (BothBitnesses, ReadsEachOfTheFourTables)
{
    for (const auto* tableName : { u"040904e4", u"000004e4", u"000004b0", u"040904b0" })
    {
        SCOPED_TRACE (std::string (tableName, tableName + 8));
        const auto block = petest::simpleVersionBlock (tableName, u"Synth", u"1.2.3", u"Acme");
        expectStrings (readImage (imageWith (block, GetParam())), { "Synth", "1.2.3", "Acme", VersionStatus::complete });
    }
}

TEST_P (BothBitnesses, ResourceDirectoryIsFoundThroughTheRightOptionalHeaderLayout)
{
    petest::ImageLayout layout;
    auto image = PeImageBuilder (GetParam()).addVersion (petest::simpleVersionBlock (u"040904b0", u"N", u"1.0", u"V")).build (&layout);

    // The resource directory sits at optional-header offset 112 (PE32) or 128 (PE32+).
    EXPECT_EQ (layout.resourceDirectoryEntry - layout.optionalHeader, GetParam() ? 128u : 112u);

    // Declaring the other format moves the directory table, so the resource is no longer found.
    petest::put16 (image, layout.optionalHeader, GetParam() ? 0x10b : 0x20b);
    expectStrings (readImage (image), noInfo);
}

TEST_P (BothBitnesses, NeedsAResourceEntryInTheDataDirectories)
{
    petest::ImageLayout layout;
    auto image = PeImageBuilder (GetParam()).addVersion (petest::simpleVersionBlock (u"040904b0", u"N", u"1.0", u"V")).build (&layout);

    petest::put32 (image, layout.numberOfRvaAndSizes, 2);
    expectStrings (readImage (image), noInfo);

    petest::put32 (image, layout.numberOfRvaAndSizes, 3);
    EXPECT_EQ (readImage (image).status, VersionStatus::complete);
}

INSTANTIATE_TEST_SUITE_P (Pe, BothBitnesses, ::testing::Values (false, true),
                          [] (const auto& p) { return p.param ? "PE32plus" : "PE32"; });

//==============================================================================
struct LanguageCase
{
    const char* label;
    std::vector<std::uint16_t> languages;   // in directory order
    bool sorted;
    std::uint16_t expected;
};

void PrintTo (const LanguageCase& c, std::ostream* os)    { *os << c.label; }

class LanguageChoice : public ::testing::TestWithParam<LanguageCase>
{
protected:
    static std::u16string hex (std::uint16_t value)
    {
        std::u16string text;

        for (int shift = 12; shift >= 0; shift -= 4)
            text.push_back (u"0123456789abcdef"[(value >> shift) & 0xf]);

        return text;
    }
};

TEST_P (LanguageChoice, PicksThePreferredLanguageOfResourceOne)
{
    PeImageBuilder builder;
    builder.sortIds = GetParam().sorted;

    // Each language's block names its own language.
    for (const auto language : GetParam().languages)
        builder.addVersion (petest::simpleVersionBlock (u"040904b0", hex (language), u"1.0", u"V"), language);

    const auto expected = hex (GetParam().expected);
    EXPECT_EQ (readImage (builder.build()).name, std::string (expected.begin(), expected.end()));
}

INSTANTIATE_TEST_SUITE_P (Pe, LanguageChoice, ::testing::Values (
    LanguageCase { "NeutralFirst",           { 0x0409, 0x0000, 0x0407 }, true,  0x0000 },
    LanguageCase { "UsEnglishOverGerman",    { 0x0407, 0x0409 },         true,  0x0409 },
    LanguageCase { "UsEnglishOverEnglish",   { 0x0009, 0x0409, 0x0400 }, true,  0x0409 },
    LanguageCase { "EnglishOverDefault",     { 0x0400, 0x0009, 0x0407 }, true,  0x0009 },
    LanguageCase { "DefaultOverOthers",      { 0x0c0c, 0x0400 },         true,  0x0400 },
    LanguageCase { "LowestOfTheRest",        { 0x0c0c, 0x0407, 0x0411 }, true,  0x0407 },
    LanguageCase { "LowestEvenIfNotFirst",   { 0x0c0c, 0x0411, 0x0407 }, false, 0x0407 },
    LanguageCase { "UnsortedUsEnglish",      { 0x0411, 0x0409, 0x0000 }, false, 0x0000 },
    LanguageCase { "SingleOtherLanguage",    { 0x0411 },                 true,  0x0411 }),
    [] (const auto& p) { return std::string (p.param.label); });

//==============================================================================
TEST (PeResources, OnlyIntegerNameOneOfTypeSixteenCounts)
{
    const auto block = petest::simpleVersionBlock (u"040904b0", u"N", u"1.0", u"V");

    expectStrings (readImage (PeImageBuilder().add (16, 2, 0x409, block).build()), noInfo);
    expectStrings (readImage (PeImageBuilder().add (16, std::u16string (u"1"), 0x409, block).build()), noInfo);
    expectStrings (readImage (PeImageBuilder().add (16, std::u16string (u"#1"), 0x409, block).build()), noInfo);
    expectStrings (readImage (PeImageBuilder().add (std::u16string (u"16"), 1, 0x409, block).build()), noInfo);
    expectStrings (readImage (PeImageBuilder().add (6, 1, 0x409, block).build()), noInfo);

    // The same wrong ones around the real one do not disturb it; ID 0 sorts before ID 1.
    const auto other = petest::simpleVersionBlock (u"040904b0", u"Other", u"9.0", u"X");
    const auto image = PeImageBuilder()
                           .add (std::u16string (u"VERSION"), 1, 0x409, other)
                           .add (16, std::u16string (u"ONE"), 0x409, other)
                           .add (16, 0, 0x409, other)
                           .add (16, 2, 0x409, other)
                           .add (3, 1, 0x409, other)
                           .add (16, 1, 0x409, block)
                           .add (24, 1, 0x409, other)
                           .build();

    expectStrings (readImage (image), { "N", "1.0", "V", VersionStatus::complete });
}

TEST (PeResources, FindsEntriesInUnsortedDirectories)
{
    const auto other = petest::simpleVersionBlock (u"040904b0", u"Other", u"9.0", u"X");
    PeImageBuilder builder;
    builder.sortIds = false;
    builder.add (24, 1, 0x409, other)
           .add (16, 3, 0x409, other)
           .add (16, 1, 0x409, petest::simpleVersionBlock (u"040904b0", u"N", u"1.0", u"V"))
           .add (3, 1, 0x409, other);

    expectStrings (readImage (builder.build()), { "N", "1.0", "V", VersionStatus::complete });
}

//==============================================================================
TEST (VersionQuery, NamesIgnoreAsciiLetterCase)
{
    auto tree = root ({ table (u"040904E4", { entry (u"productname", u"Synth"), entry (u"PRODUCTVERSION", u"2.0"), entry (u"CompanyName", u"Acme") }) });
    tree.children[0].key = u"stringfileinfo";

    expectStrings (readImage (imageWith (tree)), { "Synth", "2.0", "Acme", VersionStatus::complete });

    const auto info = infoOf (imageWith (tree));
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->queryString ("040904e4", "ProductName"), "Synth");
    EXPECT_EQ (info->queryString ("040904E4", "PRODUCTNAME"), "Synth");
    EXPECT_EQ (info->queryValue ("\\STRINGFILEINFO\\040904e4\\productversion"), "2.0");
}

TEST (VersionQuery, NonAsciiNamesCompareExactly)
{
    const auto tree = root ({ table (u"040904e4", { entry (u"Caf\u00e9", u"latin"), entry (u"\u20ac", u"euro") }) });
    const auto info = infoOf (imageWith (tree));
    ASSERT_TRUE (info.has_value());

    // Path bytes are Windows-1252: 0xE9 is é, 0x80 is €.
    EXPECT_EQ (info->queryString ("040904e4", "Caf\xe9"), "latin");
    EXPECT_EQ (info->queryString ("040904e4", "CAF\xe9"), "latin");
    EXPECT_EQ (info->queryString ("040904e4", "Caf\xc9"), std::nullopt);
    EXPECT_EQ (info->queryString ("040904e4", "\x80"), "euro");
}

TEST (VersionQuery, MatchesWholeNamesOnly)
{
    const auto tree = root ({ table (u"040904e4x", { entry (u"ProductName", u"wrong table") }),
                              table (u"040904e", { entry (u"ProductName", u"short table") }),
                              table (u"040904b0", { entry (u"ProductNameX", u"long"), entry (u"ProductNam", u"short"),
                                                    entry (u"Product", u"prefix") }) });
    const auto info = infoOf (imageWith (tree));
    ASSERT_TRUE (info.has_value());

    EXPECT_EQ (info->queryString ("040904e4", "ProductName"), std::nullopt);
    EXPECT_EQ (info->queryString ("040904b0", "ProductName"), std::nullopt);
    EXPECT_EQ (info->queryString ("040904b0", "ProductNam"), "short");
    EXPECT_EQ (info->queryString ("040904b0", "ProductNameX"), "long");

    auto renamed = tree;
    renamed.children[0].key = u"StringFileInfoX";
    const auto other = infoOf (imageWith (renamed));
    ASSERT_TRUE (other.has_value());
    EXPECT_EQ (other->queryString ("040904b0", "ProductNameX"), std::nullopt);
}

TEST (VersionQuery, FirstOfDuplicatesCounts)
{
    // Two tables of one name: only the first is searched, even for keys it lacks.
    auto tree = root ({ table (u"040904e4", { entry (u"ProductName", u"first"), entry (u"ProductName", u"second"),
                                              entry (u"CompanyName", u"") }),
                        table (u"040904E4", { entry (u"ProductName", u"other"), entry (u"ProductVersion", u"1.0") }) });

    const auto info = infoOf (imageWith (tree));
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->queryString ("040904e4", "ProductName"), "first");
    EXPECT_EQ (info->queryString ("040904e4", "ProductVersion"), std::nullopt);

    // An empty first duplicate is still the one found.
    EXPECT_EQ (query (root ({ table (u"040904e4", { entry (u"CompanyName", u""), entry (u"CompanyName", u"Acme") }) }),
                      "040904e4", "CompanyName"), "");

    // Two StringFileInfo blocks: the second is never searched.
    const auto twice = petest::versionRoot ({ petest::stringFileInfo ({ table (u"000004b0", { entry (u"ProductName", u"A") }) }),
                                              petest::stringFileInfo ({ table (u"040904e4", { entry (u"ProductName", u"B") }) }) });
    EXPECT_EQ (query (twice, "040904e4", "ProductName"), std::nullopt);
    EXPECT_EQ (query (twice, "000004b0", "ProductName"), "A");
}

TEST (VersionQuery, EmptyAndMissingValuesAreFoundAsEmpty)
{
    auto withoutValue = petest::keyWithoutValue (u"CompanyName");
    auto zeroLength = entry (u"ProductVersion", u"3.0");
    zeroLength.valueLength = 0;

    // Nothing of the following sibling may leak into a value-less key.
    const auto tree = root ({ table (u"040904e4", { entry (u"ProductName", u""), withoutValue, zeroLength,
                                                    entry (u"Comments", u"next") }) });

    const auto info = infoOf (imageWith (tree));
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->queryString ("040904e4", "ProductName"), "");
    EXPECT_EQ (info->queryString ("040904e4", "CompanyName"), "");
    EXPECT_EQ (info->queryString ("040904e4", "ProductVersion"), "");
    EXPECT_EQ (info->queryString ("040904e4", "Comments"), "next");

    expectStrings (readImage (imageWith (tree)), { "", "", "", VersionStatus::complete });
}

TEST (VersionQuery, ValueEndsAtItsFirstNulOrAtTheEndOfItsBlock)
{
    auto shortLength = entry (u"ProductVersion", u"1.2.3");
    shortLength.valueLength = 1;                    // the length field does not cut the text

    auto unterminated = entry (u"Comments", u"");
    unterminated.value = { 'a', 0, 'b', 0, 'c', 0 }; // no NUL: the block's end ends the text
    unterminated.valueLength = 3;

    auto longLength = entry (u"LegalCopyright", u"xy");
    longLength.valueLength = 500;                    // far beyond the block

    auto oddTail = entry (u"FileVersion", u"");
    oddTail.value = { '7', 0, '8' };                 // half a character at the end is ignored
    oddTail.valueLength = 2;

    const auto tree = root ({ table (u"040904e4", { entry (u"ProductName", std::u16string (u"Abc\0Def", 7)), shortLength,
                                                    unterminated, longLength, oddTail, entry (u"CompanyName", u"next") }) });

    const auto info = infoOf (imageWith (tree));
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->queryString ("040904e4", "ProductName"), "Abc");
    EXPECT_EQ (info->queryString ("040904e4", "ProductVersion"), "1.2.3");
    EXPECT_EQ (info->queryString ("040904e4", "Comments"), "abc");
    EXPECT_EQ (info->queryString ("040904e4", "LegalCopyright"), "xy");
    EXPECT_EQ (info->queryString ("040904e4", "FileVersion"), "7");
    EXPECT_EQ (info->queryString ("040904e4", "CompanyName"), "next");
}

TEST (VersionQuery, AZeroLengthChildEndsTheList)
{
    VersionNode stop;
    stop.terminateKey = false;
    stop.lengthOverride = 0;

    const auto info = infoOf (imageWith (root ({ table (u"040904e4", { entry (u"ProductName", u"N"), stop,
                                                                       entry (u"ProductVersion", u"1.0") }) })));
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->queryString ("040904e4", "ProductName"), "N");
    EXPECT_EQ (info->queryString ("040904e4", "ProductVersion"), std::nullopt);
}

TEST (VersionQuery, ValueLengthCountsCharactersForTextAndBytesOtherwise)
{
    // Blocks with a value before their children: the children start after
    // wValueLength characters (type 1) or bytes (type 0), rounded up to 4.
    auto textTable = table (u"040904e4", { entry (u"ProductName", u"T") });
    textTable.value = { 'a', 0, 'b', 0, 'c', 0, 0, 0 };
    textTable.valueLength = 3;

    auto binaryTable = table (u"000004b0", { entry (u"ProductName", u"B") });
    binaryTable.type = 0;
    binaryTable.value = { 1, 2, 3, 4, 5, 6, 0, 0 };
    binaryTable.valueLength = 6;

    const auto info = infoOf (imageWith (root ({ textTable, binaryTable })));
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->queryString ("040904e4", "ProductName"), "T");
    EXPECT_EQ (info->queryString ("000004b0", "ProductName"), "B");
    EXPECT_EQ (info->queryString ("040904e4", ""), "abc");
}

TEST (VersionQuery, OddPathsNeitherCrashNorMatchWrongly)
{
    const auto tree = root ({ table (u"040904e4", { entry (u"ProductName", u"Synth") }) });
    const auto info = infoOf (imageWith (tree));
    ASSERT_TRUE (info.has_value());

    EXPECT_EQ (info->queryValue ("\\\\StringFileInfo\\\\040904e4\\\\ProductName\\"), "Synth");  // empty parts are skipped
    EXPECT_EQ (info->queryString ("040904e4", std::string_view ("ProductName\0junk", 16)), "Synth"); // ends at NUL
    EXPECT_EQ (info->queryString ("040904e4\\ProductName", ""), "Synth");
    EXPECT_EQ (info->queryString ("", ""), "");             // StringFileInfo itself: a block without a value
    EXPECT_EQ (info->queryString ("040904e4", "ProductName\\x"), std::nullopt);
    EXPECT_EQ (info->queryString (std::string (300, 'a'), "ProductName"), std::nullopt);
}

//==============================================================================
TEST (VersionConversion, ValuesBecomeWindows1252WithBestFit)
{
    struct Case { std::u16string value; std::string expected; };

    const std::vector<Case> cases {
        { u"Caf\u00e9 \u00fc\u00a9\u00ae\u00b5", "Caf\xe9 \xfc\xa9\xae\xb5" },
        { u"\u20ac 5", "\x80 5" },
        { u"\u0100bc", "Abc" },
        { u"\uff11.\uff10", "1.0" },
        { u"\u2070", "\xb0" },
        { u"\u4e2d", "?" },
        { u"\U0001F3B9", "??" },
        { u"a\u2019b", "a\x92" "b" },
    };

    for (const auto& c : cases)
    {
        const auto tree = root ({ table (u"040904b0", { entry (u"ProductName", c.value), entry (u"ProductVersion", u"1.0"),
                                                        entry (u"CompanyName", c.value) }) });
        const auto result = readImage (imageWith (tree));
        EXPECT_EQ (result.name, c.expected);
        EXPECT_EQ (result.vendor, c.expected);
    }
}

//==============================================================================
struct TableCase
{
    const char* label;
    std::vector<VersionNode> tables;
    Expected expected;
};

void PrintTo (const TableCase& c, std::ostream* os)    { *os << c.label; }

class FourTableProcedure : public ::testing::TestWithParam<TableCase> {};

TEST_P (FourTableProcedure, GivesTheScannersStrings)
{
    expectStrings (readImage (imageWith (root (GetParam().tables))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P (Pe, FourTableProcedure, ::testing::Values (
    TableCase { "FirstCompleteTableWins",
                { table (u"000004b0", { entry (u"ProductName", u"B"), entry (u"ProductVersion", u"2.0"), entry (u"CompanyName", u"VB") }),
                  table (u"040904e4", { entry (u"ProductName", u"A"), entry (u"ProductVersion", u"1.0"), entry (u"CompanyName", u"VA") }) },
                { "A", "1.0", "VA", VersionStatus::complete } },
    TableCase { "LaterTableAfterIncompleteOne",
                { table (u"040904e4", { entry (u"ProductName", u"A") }),
                  table (u"000004b0", { entry (u"ProductName", u"B"), entry (u"ProductVersion", u"2.0"), entry (u"CompanyName", u"VB") }) },
                { "B", "2.0", "VB", VersionStatus::complete } },
    TableCase { "NameAndVersionWithoutVendor",
                { table (u"040904b0", { entry (u"ProductName", u"Synth"), entry (u"ProductVersion", u"1.5") }) },
                { "Synth", "1.5", "", VersionStatus::incomplete } },
    TableCase { "LastFoundWinsAcrossTables",
                { table (u"040904e4", { entry (u"ProductName", u"N1"), entry (u"ProductVersion", u"1.0") }),
                  table (u"000004e4", { entry (u"ProductName", u"N2") }),
                  table (u"040904b0", { entry (u"ProductName", u"N4"), entry (u"CompanyName", u"never read") }) },
                { "N4", "1.0", "", VersionStatus::incomplete } },
    TableCase { "TableStopsAtFirstMissingKey",
                { table (u"040904e4", { entry (u"ProductName", u"N"), entry (u"CompanyName", u"C") }) },
                { "N", "", "", VersionStatus::incomplete } },
    TableCase { "MissingNameSkipsTheWholeTable",
                { table (u"000004e4", { entry (u"ProductVersion", u"3.0"), entry (u"CompanyName", u"C") }) },
                { "", "", "", VersionStatus::incomplete } },
    TableCase { "OtherTablesOnly",
                { table (u"041104b0", { entry (u"ProductName", u"J"), entry (u"ProductVersion", u"1.0"), entry (u"CompanyName", u"C") }) },
                { "", "", "", VersionStatus::incomplete } },
    TableCase { "NoStringFileInfo", {}, { "", "", "", VersionStatus::incomplete } }),
    [] (const auto& p) { return std::string (p.param.label); });

TEST (FourTableProcedure, VersionInfoWithoutStringsIsIncompleteNotMissing)
{
    const auto tree = petest::versionRoot ({ petest::varFileInfo (0x0409, 0x04b0) });
    expectStrings (readImage (imageWith (tree)), { "", "", "", VersionStatus::incomplete });
}

//==============================================================================
TEST (RvaMapping, FollowsTheSectionTable)
{
    const auto block = petest::simpleVersionBlock (u"040904b0", u"Mapped", u"1.0", u"V");
    const Expected expected { "Mapped", "1.0", "V", VersionStatus::complete };

    {
        PeImageBuilder builder;
        builder.resourceSectionFirst = true;
        expectStrings (readImage (builder.addVersion (block).build()), expected);
    }
    {
        PeImageBuilder builder;
        builder.resourceRva = 0x7000;
        builder.resourceFileOffset = 0x1400;
        expectStrings (readImage (builder.addVersion (block).build()), expected);
    }
    {
        PeImageBuilder builder;
        builder.separateDataRva = 0x9000;
        expectStrings (readImage (builder.addVersion (block).build()), expected);
    }
    {
        // VirtualSize smaller than the raw data: the raw size still counts.
        PeImageBuilder builder;
        builder.resourceVirtualSize = 0x10;
        expectStrings (readImage (builder.addVersion (block).build()), expected);
    }
}

TEST (RvaMapping, DataBeyondTheRawSizeReadsAsZero)
{
    const auto block = petest::simpleVersionBlock (u"040904b0", u"Mapped", u"1.0", u"V");
    petest::ImageLayout layout;

    PeImageBuilder builder;
    builder.addVersion (block);
    const auto full = builder.build (&layout);
    const auto blockStart = static_cast<std::uint32_t> (layout.data[0] - layout.resourceSection);

    // Raw data ends inside the block; the virtual size covers it. The text after the cut
    // reads as zeros: the value found so far is kept, later lookups fail.
    const auto nameAt = std::search (full.begin(), full.end(), std::begin ("M\0a\0p"), std::end ("M\0a\0p") - 1) - full.begin();
    builder.resourceRawSize = static_cast<std::uint32_t> (nameAt + 4) - static_cast<std::uint32_t> (layout.resourceSection);
    builder.resourceVirtualSize = 0x1000;
    auto cut = builder.build();
    std::fill (cut.begin() + nameAt + 4, cut.end(), std::uint8_t { 0xcc });   // must not be read

    expectStrings (readImage (cut), { "Ma", "", "", VersionStatus::incomplete });

    // When the whole block lies beyond the raw data it is all zeros: present, but empty.
    builder.resourceRawSize = blockStart;
    expectStrings (readImage (builder.build()), { "", "", "", VersionStatus::incomplete });
}

TEST (RvaMapping, AddressesOutsideEverySectionFindNothing)
{
    petest::ImageLayout layout;
    auto image = PeImageBuilder().addVersion (petest::simpleVersionBlock (u"040904b0", u"N", u"1.0", u"V")).build (&layout);

    // The resource exists, but its data cannot be had: present, and empty.
    auto badData = image;
    petest::put32 (badData, layout.dataEntries[0], 0x50000);
    expectStrings (readImage (badData), { "", "", "", VersionStatus::incomplete });

    auto badDirectory = image;
    petest::put32 (badDirectory, layout.resourceDirectoryEntry, 0x50000);
    expectStrings (readImage (badDirectory), noInfo);

    // Data pointing into .text reads that section's bytes: a version resource, but no strings.
    auto intoText = image;
    petest::put32 (intoText, layout.dataEntries[0], 0x1000);
    expectStrings (readImage (intoText), { "", "", "", VersionStatus::incomplete });
}

//==============================================================================
struct Damage
{
    const char* label;
    std::function<void (Bytes&, const petest::ImageLayout&)> apply;
    Expected expected;
};

void PrintTo (const Damage& d, std::ostream* os)    { *os << d.label; }

class MalformedImage : public ::testing::TestWithParam<Damage> {};

TEST_P (MalformedImage, GivesNoInfoOrTheStringsFoundSoFar)
{
    petest::ImageLayout layout;
    auto image = PeImageBuilder().addVersion (petest::simpleVersionBlock (u"040904b0", u"Synth", u"1.0", u"Acme")).build (&layout);
    GetParam().apply (image, layout);

    pe::MemorySource source (image.data(), image.size());
    expectStrings (pe::readVersionStrings (source), GetParam().expected);
}

namespace
{
    const Expected intact { "Synth", "1.0", "Acme", VersionStatus::complete };
    const Expected emptyButPresent { "", "", "", VersionStatus::incomplete };

    std::size_t findText (const Bytes& image, const std::u16string& text)
    {
        Bytes pattern;

        for (const auto c : text)
        {
            pattern.push_back (static_cast<std::uint8_t> (c & 0xff));
            pattern.push_back (static_cast<std::uint8_t> (c >> 8));
        }

        return static_cast<std::size_t> (std::search (image.begin(), image.end(), pattern.begin(), pattern.end()) - image.begin());
    }

    /** The offset of the block whose key is text (the key starts 6 bytes in). */
    std::size_t blockOf (const Bytes& image, const std::u16string& text)
    {
        return findText (image, text) - 6;
    }
}

INSTANTIATE_TEST_SUITE_P (Pe, MalformedImage, ::testing::Values (
    Damage { "Empty", [] (Bytes& b, const auto&) { b.clear(); }, noInfo },
    Damage { "TextFile", [] (Bytes& b, const auto&) { const std::string text = "MZ is not enough\n"; b.assign (text.begin(), text.end()); }, noInfo },
    Damage { "TruncatedDosHeader", [] (Bytes& b, const auto&) { b.resize (40); }, noInfo },
    Damage { "LfanewPastTheEnd", [] (Bytes& b, const auto&) { petest::put32 (b, 0x3c, static_cast<std::uint32_t> (b.size())); }, noInfo },
    Damage { "LfanewHuge", [] (Bytes& b, const auto&) { petest::put32 (b, 0x3c, 0xfffffffe); }, noInfo },
    Damage { "BadSignature", [] (Bytes& b, const auto& l) { b[l.peHeader + 2] = 'X'; }, noInfo },
    Damage { "TruncatedOptionalHeader", [] (Bytes& b, const auto& l) { b.resize (l.optionalHeader + 100); }, noInfo },
    Damage { "TruncatedSectionTable", [] (Bytes& b, const auto& l) { b.resize (l.sectionTable + 60); }, noInfo },
    Damage { "NoSections", [] (Bytes& b, const auto& l) { petest::put16 (b, l.peHeader + 6, 0); }, noInfo },
    Damage { "SectionCountHuge", [] (Bytes& b, const auto& l) { petest::put16 (b, l.peHeader + 6, 0xffff); }, intact },
    Damage { "SectionTablePastTheEnd", [] (Bytes& b, const auto& l) { petest::put16 (b, l.peHeader + 20, 0xfff0); }, noInfo },
    Damage { "ResourceRvaZero", [] (Bytes& b, const auto& l) { petest::put32 (b, l.resourceDirectoryEntry, 0); }, noInfo },
    Damage { "RawDataPastTheEnd", [] (Bytes& b, const auto& l) { petest::put32 (b, l.resourceSectionHeader + 20, 0x7ffffff0); }, noInfo },
    Damage { "TypeDirectoryLoopsToRoot", [] (Bytes& b, const auto& l) { petest::put32 (b, l.resourceSection + 16 + 4, 0x80000000u); }, noInfo },
    Damage { "NameDirectoryLoopsToItself", [] (Bytes& b, const auto& l)
             { petest::put32 (b, l.typeDirectories[0] + 16 + 4, 0x80000000u | static_cast<std::uint32_t> (l.typeDirectories[0] - l.resourceSection)); }, noInfo },
    Damage { "LanguageEntryIsADirectory", [] (Bytes& b, const auto& l)
             { petest::put32 (b, l.nameDirectories[0] + 16 + 4, 0x80000000u | static_cast<std::uint32_t> (l.nameDirectories[0] - l.resourceSection)); }, noInfo },
    Damage { "NameEntryIsData", [] (Bytes& b, const auto& l) { b[l.typeDirectories[0] + 16 + 7] = 0; }, noInfo },
    Damage { "NamedCountHuge", [] (Bytes& b, const auto& l) { petest::put16 (b, l.resourceSection + 12, 0xffff); }, noInfo },
    Damage { "TypeCountHuge", [] (Bytes& b, const auto& l) { petest::put16 (b, l.resourceSection + 14, 0xffff); }, noInfo },
    Damage { "TypeCountJustFits", [] (Bytes& b, const auto& l)
             { petest::put16 (b, l.resourceSection + 14, static_cast<std::uint16_t> ((0x200 - 16) / 8)); }, intact },
    Damage { "DataSizeZero", [] (Bytes& b, const auto& l) { petest::put32 (b, l.dataEntries[0] + 4, 0); }, emptyButPresent },
    Damage { "DataSizeHuge", [] (Bytes& b, const auto& l) { petest::put32 (b, l.dataEntries[0] + 4, 0xffffffff); }, emptyButPresent },
    Damage { "DataPastSizeOfImage", [] (Bytes& b, const auto& l)
             { petest::put32 (b, l.optionalHeader + 56, 0x2000); }, emptyButPresent },
    Damage { "DataRvaWraps", [] (Bytes& b, const auto& l) { petest::put32 (b, l.dataEntries[0], 0xfffffff0); }, emptyButPresent },
    Damage { "DataEntryOutsideSection", [] (Bytes& b, const auto& l) { petest::put32 (b, l.nameDirectories[0] + 16 + 4, 0x7ffffff0); }, noInfo },
    Damage { "FileEndsInsideTheBlock", [] (Bytes& b, const auto&) { b.resize (findText (b, u"Acme") + 2); }, noInfo },
    Damage { "RootLengthZero", [] (Bytes& b, const auto& l) { petest::put16 (b, l.data[0], 0); }, emptyButPresent },
    Damage { "RootLengthBeyondData", [] (Bytes& b, const auto& l) { petest::put16 (b, l.data[0], 0xfff0); }, intact },
    Damage { "RootShorterThanItsStrings", [] (Bytes& b, const auto& l)
             { petest::put16 (b, l.data[0], static_cast<std::uint16_t> (findText (b, u"Acme") + 2 - l.data[0])); },
             { "Synth", "1.0", "A", VersionStatus::complete } },
    Damage { "ChildOverrunsItsParent", [] (Bytes& b, const auto&) { petest::put16 (b, blockOf (b, u"StringFileInfo"), 0xffff); }, intact },
    Damage { "StringOverrunsItsTable", [] (Bytes& b, const auto&) { petest::put16 (b, blockOf (b, u"ProductVersion"), 0x7fff); },
             { "Synth", "1.0", "", VersionStatus::incomplete } },
    Damage { "ChildLengthZeroEndsTheListAfterItsOwnKey", [] (Bytes& b, const auto&) { petest::put16 (b, blockOf (b, u"ProductVersion"), 0); },
             { "Synth", "1.0", "", VersionStatus::incomplete } },
    Damage { "ChildTooShortIsSkipped", [] (Bytes& b, const auto&) { petest::put16 (b, blockOf (b, u"ProductName"), 3); },
             emptyButPresent },
    Damage { "KeyWithoutNul", [] (Bytes& b, const auto&)
             { const auto at = blockOf (b, u"CompanyName");
               petest::put16 (b, at, static_cast<std::uint16_t> (6 + 2 * 11)); },
             { "Synth", "1.0", "", VersionStatus::incomplete } },
    Damage { "TableValueLengthSkipsChildren", [] (Bytes& b, const auto&) { petest::put16 (b, blockOf (b, u"040904b0") + 2, 0x4000); },
             emptyButPresent }),
    [] (const auto& p) { return std::string (p.param.label); });

TEST (MalformedImage, EveryTruncationAndByteFlipIsSafe)
{
    // Run under the sanitizers (the fuzz build) this checks every read; here it checks results stay sane.
    const auto image = PeImageBuilder (true).addVersion (petest::simpleVersionBlock (u"040904e4", u"Synth", u"1.0", u"Acme")).build();

    for (std::size_t length = 0; length <= image.size(); ++length)
    {
        const Bytes prefix (image.begin(), image.begin() + static_cast<std::ptrdiff_t> (length));
        const auto result = readImage (prefix);

        if (result.status == VersionStatus::complete)
        {
            EXPECT_EQ (result.name, "Synth");
        }
    }

    for (std::size_t i = 0; i < image.size(); ++i)
    {
        for (const std::uint8_t value : { std::uint8_t { 0 }, std::uint8_t { 0xff }, std::uint8_t { 0x80 } })
        {
            auto damaged = image;
            damaged[i] = value;
            const auto result = readImage (damaged);
            EXPECT_LE (result.name.size(), 64u);
        }
    }
}

TEST (MalformedImage, DeeplyNestedBlocksAreWalkedWithoutRecursion)
{
    constexpr int depth = 4000;
    VersionNode innermost = entry (u"ProductName", u"deep");

    for (int i = 0; i < depth; ++i)
    {
        VersionNode wrapper;
        wrapper.key = u"a";
        wrapper.children.push_back (std::move (innermost));
        innermost = std::move (wrapper);
    }

    innermost.key = u"StringFileInfo";
    const auto image = imageWith (petest::versionRoot ({ innermost }));
    EXPECT_EQ (readImage (image).status, VersionStatus::incomplete);

    std::string path = "StringFileInfo";

    for (int i = 1; i < depth; ++i)
        path += "\\a";

    const auto info = infoOf (image);
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->queryValue (path + "\\ProductName"), "deep");
    EXPECT_EQ (info->queryValue (path + "\\a\\ProductName"), std::nullopt);
}

//==============================================================================
namespace
{
    /** A temporary file made of chunks at given offsets, sparse in between and up to paddedSize. */
    struct TempFile
    {
        explicit TempFile (const Bytes& content, std::uint64_t paddedSize = 0)
            : TempFile ({ { 0, content } }, paddedSize)
        {
        }

        TempFile (const std::vector<std::pair<std::uint64_t, Bytes>>& chunks, std::uint64_t paddedSize)
        {
            char pattern[] = "/tmp/pe-reader-test-XXXXXX";
            const int fd = ::mkstemp (pattern);

            if (fd < 0)
                return;

            path = pattern;
            bool ok = paddedSize == 0 || ::ftruncate (fd, static_cast<off_t> (paddedSize)) == 0;

            for (const auto& [offset, bytes] : chunks)
                ok = ok && ::pwrite (fd, bytes.data(), bytes.size(), static_cast<off_t> (offset)) == static_cast<ssize_t> (bytes.size());

            ::close (fd);

            if (! ok)
            {
                ::unlink (path.c_str());
                path.clear();
            }
        }

        ~TempFile()
        {
            if (! path.empty())
                ::unlink (path.c_str());
        }

        std::string path;
    };
}

TEST (FileReading, ReadsLittleOfAHugeFile)
{
    // A 200 MB plug-in, sparse, its resources near the end: only the headers and the version block may be read.
    petest::ImageLayout layout;
    PeImageBuilder builder;
    builder.resourceRva = 0x0c000000;
    auto image = builder.addVersion (petest::simpleVersionBlock (u"040904e4", u"Big", u"1.0", u"V")).build (&layout);

    constexpr std::uint32_t resourcesAt = 190u * 1024 * 1024;
    petest::put32 (image, layout.resourceSectionHeader + 20, resourcesAt);
    const Bytes headers (image.begin(), image.begin() + static_cast<std::ptrdiff_t> (layout.resourceSection));
    const Bytes resources (image.begin() + static_cast<std::ptrdiff_t> (layout.resourceSection), image.end());

    const TempFile file ({ { 0, headers }, { resourcesAt, resources } }, 200ull * 1024 * 1024);
    ASSERT_FALSE (file.path.empty());

    pe::FileSource source (file.path);
    ASSERT_TRUE (source.isOpen());
    EXPECT_EQ (source.size(), 200ull * 1024 * 1024);

    expectStrings (pe::readVersionStrings (source), { "Big", "1.0", "V", VersionStatus::complete });
    EXPECT_LE (source.bytesRead(), 2u * 4096u);   // the headers' chunk and the resources' chunk
}

TEST (FileReading, WorstCaseReadsStayBounded)
{
    // Every count at its maximum: sections, directory entries, data size and block length.
    petest::ImageLayout layout;
    PeImageBuilder builder;
    builder.resourceFileOffset = 0x1000;
    auto block = petest::simpleVersionBlock (u"040904e4", u"Big", u"1.0", u"V");
    block.resize (0xffff, 0);
    petest::put16 (block, 0, 0xffff);
    auto image = builder.addVersion (block, 0).build (&layout);   // neutral: garbage entries cannot beat it
    petest::put16 (image, layout.peHeader + 6, 0xffff);
    // The root's entries must fit in the section and the data in the image: the loader refuses more.
    petest::put16 (image, layout.typeDirectories[0] + 14, 0xffff);
    petest::put16 (image, layout.nameDirectories[0] + 14, 0xffff);
    petest::put32 (image, layout.dataEntries[0] + 4, 0xffff);

    const TempFile file (image, 300ull * 1024 * 1024);
    ASSERT_FALSE (file.path.empty());

    pe::FileSource source (file.path);
    EXPECT_EQ (pe::readVersionStrings (source).status, VersionStatus::complete);
    // The small reads are served in whole 4 KiB chunks: at most one more chunk
    // than asked for at either end of each region.
    EXPECT_LE (source.bytesRead(), pe::PeImage::maxBytesRead + 4u * 4096u);
    EXPECT_LE (pe::PeImage::maxBytesRead, 72u * 1024u);
}

TEST (FileReading, FilesThatCannotBeReadHaveNoVersionInfo)
{
    expectStrings (pe::readVersionStrings (std::string ("/nonexistent/dir/plugin.dll")), noInfo);
    expectStrings (pe::readVersionStrings (std::string ("/tmp")), noInfo);

    pe::FileSource directory ("/tmp");
    EXPECT_FALSE (directory.isOpen());

    // A FIFO named like a plug-in must neither block the open nor be read.
    const std::string fifo = "/tmp/pe-reader-test-fifo-" + std::to_string (::getpid()) + ".dll";
    ASSERT_EQ (::mkfifo (fifo.c_str(), 0600), 0);
    expectStrings (pe::readVersionStrings (fifo), noInfo);
    ::unlink (fifo.c_str());

    const TempFile file (imageWith (petest::simpleVersionBlock (u"000004b0", u"Disk", u"2.5", u"Acme")));
    expectStrings (pe::readVersionStrings (file.path), { "Disk", "2.5", "Acme", VersionStatus::complete });
}

TEST (FileReading, MemorySourceStopsAtItsEnd)
{
    const Bytes data { 1, 2, 3, 4 };
    pe::MemorySource source (data.data(), data.size());
    std::uint8_t out[8] {};

    EXPECT_EQ (source.readAt (2, out, 8), 2u);
    EXPECT_EQ (out[0], 3);
    EXPECT_EQ (source.readAt (4, out, 1), 0u);
    EXPECT_EQ (source.readAt (~std::uint64_t { 0 }, out, 1), 0u);
}

//==============================================================================
#ifdef COBALTLINE_FIXTURES_DIR
namespace
{
    const std::string fixturesDir = COBALTLINE_FIXTURES_DIR;

    std::string unescape (const std::string& field)
    {
        std::string out;

        for (std::size_t i = 0; i < field.size(); ++i)
        {
            if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x')
            {
                out.push_back (static_cast<char> (std::stoi (field.substr (i + 2, 2), nullptr, 16)));
                i += 3;
            }
            else
            {
                out.push_back (field[i]);
            }
        }

        return out;
    }

    std::vector<std::vector<std::string>> readTsv (const std::string& path)
    {
        std::vector<std::vector<std::string>> rows;
        std::ifstream in (path, std::ios::binary);
        std::string line;

        while (std::getline (in, line))
        {
            if (line.empty() || line[0] == '#')
                continue;

            std::vector<std::string> fields;
            std::stringstream stream (line);
            std::string field;

            while (std::getline (stream, field, '\t'))
                fields.push_back (field);

            if (line.back() == '\t')
                fields.emplace_back();

            rows.push_back (fields);
        }

        return rows;
    }

    VersionStatus statusFromError (const std::string& error)
    {
        if (error.empty())
            return VersionStatus::complete;

        return error == "Problem retrieving information" ? VersionStatus::incomplete : VersionStatus::noVersionInfo;
    }

    std::vector<std::string> filesIn (const std::string& dir)
    {
        std::vector<std::string> names;

        if (auto* d = ::opendir (dir.c_str()))
        {
            while (const auto* e = ::readdir (d))
            {
                const std::string name = e->d_name;

                if (name != "." && name != ".." && name != "README.md")
                    names.push_back (name);
            }

            ::closedir (d);
        }

        std::sort (names.begin(), names.end());
        return names;
    }
}

TEST (Fixtures, PluginsReadAsTheRealApiReadsThem)
{
    const auto expectedFile = fixturesDir + "/plugins/expected-wine.tsv";
    const auto rows = readTsv (expectedFile);

    if (rows.empty())
        GTEST_SKIP() << "no " << expectedFile;

    // Rows where Wine is known to differ from Windows are replaced by the Windows behaviour.
    std::map<std::string, std::vector<std::string>> overrides;

    for (const auto& row : readTsv (fixturesDir + "/plugins/expected-overrides.tsv"))
        if (row.size() >= 5)
            overrides[row[0]] = row;

    for (auto row : rows)
    {
        ASSERT_GE (row.size(), 5u) << row[0];

        if (const auto o = overrides.find (row[0]); o != overrides.end())
            row = o->second;

        SCOPED_TRACE (row[0]);
        const auto result = pe::readVersionStrings (fixturesDir + "/plugins/" + unescape (row[0]));

        // "*" marks a field whose value is not established.
        const auto check = [] (const std::string& expected, const std::string& actual)
        {
            if (expected != "*")
            {
                EXPECT_EQ (actual, unescape (expected));
            }
        };

        check (row[1], result.name);
        check (row[2], result.version);
        check (row[3], result.vendor);

        if (row[4] != "*")
        {
            EXPECT_EQ (result.status, statusFromError (row[4]));
        }
    }
}

TEST (Fixtures, MalformedFilesAreReadSafely)
{
    const auto names = filesIn (fixturesDir + "/malformed");

    if (names.empty())
        GTEST_SKIP() << "no malformed fixtures";

    for (const auto& name : names)
    {
        SCOPED_TRACE (name);
        pe::FileSource source (fixturesDir + "/malformed/" + name);
        ASSERT_TRUE (source.isOpen());

        const auto result = pe::readVersionStrings (source);
        EXPECT_LE (source.bytesRead(), pe::PeImage::maxBytesRead);

        if (result.status == VersionStatus::noVersionInfo)
        {
            EXPECT_TRUE (result.name.empty() && result.version.empty() && result.vendor.empty());
        }
    }
}
#endif
