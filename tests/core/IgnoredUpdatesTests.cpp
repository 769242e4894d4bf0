#include "core/updates/IgnoredUpdates.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    using Load = IgnoredUpdates::Load;

    PluginRow updateRow (const juce::String& name, const juce::String& latestVersion,
                         const juce::String& vendor = "Vendor", const juce::String& format = "VST3")
    {
        PluginRow row;
        row.name = name;
        row.vendor = vendor;
        row.format = format;
        row.installedVersion = "1.0";
        row.latestVersion = latestVersion;
        return row;
    }

    class IgnoredUpdatesTest : public ::testing::Test
    {
    protected:
        TempFolder temp;
        const juce::File file = IgnoredUpdates::fileIn (temp.get());
        const juce::File damagedCopy = temp[IgnoredUpdates::damagedFileName];
    };
}

TEST_F (IgnoredUpdatesTest, AnIgnoredVersionComesBackWhenANewerOneAppears)
{
    IgnoredUpdates ignored (file);
    EXPECT_EQ (ignored.load(), Load::missing);
    ASSERT_TRUE (ignored.ignoreVersion (updateRow ("Synth", "2.10")));

    EXPECT_TRUE (ignored.isIgnored (updateRow ("Synth", "2.1")));   // the same number
    EXPECT_TRUE (ignored.isIgnored (updateRow ("Synth", "2.09")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Synth", "2.11")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Synth", "10.0")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Other", "2.1")));

    // A row without a latest version would otherwise hide every update.
    EXPECT_FALSE (ignored.ignoreVersion (updateRow ("Empty", "")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Empty", "3.0")));

    // As at the next start.
    IgnoredUpdates reread (file);
    EXPECT_EQ (reread.load(), Load::ok);
    EXPECT_TRUE (reread.isIgnored (updateRow ("Synth", "2.1")));
    EXPECT_FALSE (reread.isIgnored (updateRow ("Synth", "2.11")));
}

TEST_F (IgnoredUpdatesTest, OneEntryPerPluginKnownByNameVendorAndFormatInAnyAsciiCase)
{
    IgnoredUpdates ignored (file);
    ignored.load();
    ASSERT_TRUE (ignored.ignoreVersion (updateRow ("Synth", "2.0")));
    ASSERT_TRUE (ignored.ignoreAll (updateRow ("SYNTH", "2.0", "VENDOR", "vst3")));
    ASSERT_EQ (ignored.getEntries().size(), 1u);

    EXPECT_TRUE (ignored.isIgnored (updateRow ("synth", "99.0", "vendor", "VST3")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Synth", "99.0", "Vendor", "VST")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Synth", "99.0", "Other Vendor")));

    // Back to a single version: newer releases show again.
    ASSERT_TRUE (ignored.ignoreVersion (updateRow ("Synth", "3.0")));
    ASSERT_EQ (ignored.getEntries().size(), 1u);
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Synth", "3.1")));

    // Only A-Z fold: other letters must match exactly.
    ASSERT_TRUE (ignored.ignoreAll (updateRow (juce::String::fromUTF8 ("\xc3\x89mile"), "1.0")));
    EXPECT_TRUE (ignored.isIgnored (updateRow (juce::String::fromUTF8 ("\xc3\x89MILE"), "1.0")));
    EXPECT_FALSE (ignored.isIgnored (updateRow (juce::String::fromUTF8 ("\xc3\xa9mile"), "1.0")));

    ASSERT_TRUE (ignored.stopIgnoring (updateRow ("sYnTh", "3.0")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Synth", "1.0")));
    EXPECT_TRUE (ignored.stopIgnoring (updateRow ("Never Ignored", "1.0")));

    IgnoredUpdates reread (file);
    EXPECT_EQ (reread.load(), Load::ok);
    ASSERT_EQ (reread.getEntries().size(), 1u);
    EXPECT_EQ (reread.getEntries()[0].version, juce::String());
}

TEST_F (IgnoredUpdatesTest, ADamagedFileIsReportedOnceAndKeptAside)
{
    const auto expectDamagedAndKept = [this] (const juce::String& content)
    {
        file.replaceWithText (content);
        IgnoredUpdates ignored (file);
        EXPECT_EQ (ignored.load(), Load::damaged) << content.substring (0, 40);
        EXPECT_TRUE (ignored.getEntries().empty());
        EXPECT_EQ (ignored.getDamagedCopy().getParentDirectory(), damagedCopy.getParentDirectory());
        EXPECT_EQ (readText (ignored.getDamagedCopy()), content);
        EXPECT_EQ (ignored.load(), Load::missing);

        const auto alert = IgnoredUpdates::makeDamagedAlert (ignored.getDamagedCopy());
        EXPECT_EQ (alert.title, juce::String (IgnoredUpdates::damagedTitle));
        EXPECT_TRUE (alert.message.contains (ignored.getDamagedCopy().getFullPathName()));
    };

    // The first copy has the plain name; later ones do not replace it.
    expectDamagedAndKept ("<CobaltlineIgnoredUpdates><Ignore Name=\"x\"");
    EXPECT_EQ (readText (damagedCopy), "<CobaltlineIgnoredUpdates><Ignore Name=\"x\"");
    expectDamagedAndKept ("<CobaltlinePaths/>");
    expectDamagedAndKept ("<CobaltlineIgnoredUpdates Pad=\""
                          + juce::String::repeatedString ("x", (int) IgnoredUpdates::maxFileBytes) + "\"/>");
    EXPECT_EQ (readText (damagedCopy), "<CobaltlineIgnoredUpdates><Ignore Name=\"x\"");
}

TEST_F (IgnoredUpdatesTest, ADamagedFileNeverTakesTheNameOfAnotherAndIsReportedOnce)
{
    // Whatever holds the copy's name is left alone: the copy takes another name.
    damagedCopy.createDirectory();
    damagedCopy.getChildFile ("keep").replaceWithText ("x");
    file.replaceWithText ("not XML");

    IgnoredUpdates ignored (file);
    EXPECT_EQ (ignored.load(), Load::damaged);
    EXPECT_EQ (readText (ignored.getDamagedCopy()), "not XML");
    EXPECT_EQ (readText (damagedCopy.getChildFile ("keep")), "x");
    EXPECT_TRUE (ignored.getEntries().empty());
    EXPECT_FALSE (IgnoredUpdates::makeDamagedAlert ({}).message.contains ("set aside"));

    // A folder in the file's place is no list either.
    const auto folderInItsPlace = temp["other/IgnoredUpdates.xml"];
    folderInItsPlace.createDirectory();
    folderInItsPlace.getChildFile ("inside").replaceWithText ("x");
    IgnoredUpdates other (folderInItsPlace);
    EXPECT_EQ (other.load(), Load::damaged);
    EXPECT_NE (other.load(), Load::damaged);
}

TEST_F (IgnoredUpdatesTest, AFailedWriteLeavesTheSetAsItWas)
{
    IgnoredUpdates ignored (file);
    ignored.load();
    ASSERT_TRUE (ignored.ignoreVersion (updateRow ("Synth", "2.0")));

    // The data folder turns into a plain file: nothing can be written in it.
    ASSERT_TRUE (temp.get().deleteRecursively());
    ASSERT_TRUE (temp.get().replaceWithText ("x"));

    EXPECT_FALSE (ignored.ignoreAll (updateRow ("Synth", "2.0")));
    EXPECT_FALSE (ignored.ignoreVersion (updateRow ("Drums", "1.0")));
    EXPECT_FALSE (ignored.stopIgnoring (updateRow ("Synth", "2.0")));

    ASSERT_EQ (ignored.getEntries().size(), 1u);
    EXPECT_EQ (ignored.getEntries()[0].version, juce::String ("2.0"));
    EXPECT_TRUE (ignored.isIgnored (updateRow ("Synth", "2.0")));
    EXPECT_FALSE (ignored.isIgnored (updateRow ("Drums", "1.0")));

    const auto alert = IgnoredUpdates::makeNotSavedAlert (file);
    EXPECT_EQ (alert.icon, AlertIcon::warning);
    EXPECT_TRUE (alert.message.contains (file.getFullPathName()));
}
