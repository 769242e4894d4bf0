#include "core/inventory/ScanStart.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    class ScanStartTest : public ::testing::Test
    {
    protected:
        void writeProfile (const char* machine, const char* email, const char* password)
        {
            test.settings.getProfileFile().replaceWithText (juce::String ("<CobaltlineProfile MachineName=\"") + machine
                                                            + "\" Email=\"" + email + "\" Password=\"" + password + "\"/>");
        }

        void writePaths (const juce::String& attributes)
        {
            test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths " + attributes + "/>");
        }

        TestContext test;
    };
}

TEST_F (ScanStartTest, TheProfileIsCompleteOnlyWithAllThreeFields)
{
    EXPECT_FALSE (ScanStart::isProfileComplete (test.settings));   // the defaults

    writeProfile ("Studio", "a@b.c", "");
    EXPECT_FALSE (ScanStart::isProfileComplete (test.settings));
    writeProfile ("", "a@b.c", "0a1b");
    EXPECT_FALSE (ScanStart::isProfileComplete (test.settings));
    writeProfile ("Studio", "", "0a1b");
    EXPECT_FALSE (ScanStart::isProfileComplete (test.settings));

    // The stored password is only tested for being there, not deciphered.
    writeProfile ("Studio", "a@b.c", "not hex at all");
    EXPECT_TRUE (ScanStart::isProfileComplete (test.settings));
}

TEST_F (ScanStartTest, TheProfileAlertOffersTheWayToThePreferences)
{
    const auto alert = ScanStart::makeProfileMissingAlert();
    EXPECT_EQ (alert.title, juce::String ("Profile Preferences Missing"));
    EXPECT_EQ (alert.message, juce::String ("You need to fill out all fields of your profile in the Preferences dialog."));
    EXPECT_EQ (alert.icon, AlertIcon::warning);
    ASSERT_EQ (alert.buttons.size(), 1u);
    EXPECT_EQ (alert.buttons[0].text, juce::String ("Take me there..."));
    EXPECT_EQ (alert.buttons[0].result, ScanStart::takeMeThereResult);
    EXPECT_EQ (alert.buttons[0].key, AlertKey::returnKey);
    EXPECT_TRUE (alert.escapeKeyCancels);
}

TEST_F (ScanStartTest, EnabledRowsGiveFoldersAndFormatsInRowOrder)
{
    const auto a = test.temp["a"].getFullPathName();
    const auto b = test.temp["b"].getFullPathName();

    writePaths ("path1=\"" + a + "\" scanToggle1=\"0\" pathFormat1=\"2\" "   // switched off
                "path2=\"\" scanToggle2=\"1\" pathFormat2=\"2\" "            // no path
                "path3=\"" + a + "\" scanToggle3=\"true\" pathFormat3=\"0\" "
                "path5=\"" + b + "\" scanToggle5=\"yes\" "                   // no format at all
                "path7=\"" + b + "/\" scanToggle7=\"1\" pathFormat7=\"3\" "
                "path9=\"" + a + "\" scanToggle9=\"1\" pathFormat9=\"4\" "
                "path10=\"" + a + "\" scanToggle10=\"false\" pathFormat10=\"1\"");

    const auto folders = ScanStart::readFolders (test.settings);
    EXPECT_EQ (folders.folders, juce::StringArray (a, b, b, a));
    EXPECT_EQ (folders.formats, juce::StringArray ("", "", "RTAS/TDM", "AAX"));
}

TEST_F (ScanStartTest, FormatNumbersNameTheirFormats)
{
    EXPECT_EQ (ScanStart::formatName (1), juce::String ("AU"));
    EXPECT_EQ (ScanStart::formatName (2), juce::String ("VST"));
    EXPECT_EQ (ScanStart::formatName (3), juce::String ("RTAS/TDM"));
    EXPECT_EQ (ScanStart::formatName (4), juce::String ("AAX"));
    EXPECT_EQ (ScanStart::formatName (5), juce::String ("VST3"));
    EXPECT_EQ (ScanStart::formatName (6), juce::String ("CLAP"));

    for (const auto other : { 0, 7, -1, 42 })
        EXPECT_EQ (ScanStart::formatName (other), juce::String()) << other;
}

TEST_F (ScanStartTest, TheUnknownPluginsFileIsEmptiedAndTheInventoryKept)
{
    const auto inventory = test.settings.getMachineFile ("Studio", SettingsStore::inventorySuffix);
    const auto unknown = test.settings.getMachineFile ("Studio", SettingsStore::unknownPluginsSuffix);

    EXPECT_EQ (ScanStart::prepareFiles (test.settings, "Studio"), inventory);
    EXPECT_TRUE (inventory.existsAsFile());
    EXPECT_TRUE (unknown.existsAsFile());

    inventory.replaceWithText ("previous scan");
    unknown.replaceWithText ("C:\\old.dll\r\n");
    ScanStart::prepareFiles (test.settings, "Studio");

    EXPECT_EQ (readText (inventory), juce::String ("previous scan"));
    EXPECT_EQ (unknown.getSize(), 0);
}

TEST_F (ScanStartTest, TheLeftoversOfWritesCutShortAreRemovedOnceTheyAreOld)
{
    const auto folder = test.settings.getDataFolder();
    const auto old = juce::Time::getCurrentTime() - juce::RelativeTime::hours (1);

    const auto leftover = folder.getChildFile ("Studio_PluginList_temp3e0aef7c.xml");
    const auto settingsLeftover = folder.getChildFile ("Paths_temp1f.xml");
    const auto beingWritten = folder.getChildFile ("Profile_temp0a1b2c3d.xml");
    const auto notALeftover = folder.getChildFile ("Studio_temporary.xml");
    const auto notHex = folder.getChildFile ("Mix_tempo.xml");

    for (const auto& file : { leftover, settingsLeftover, beingWritten, notALeftover, notHex })
        ASSERT_TRUE (file.replaceWithText ("<Partial"));

    for (const auto& file : { leftover, settingsLeftover, notALeftover, notHex })
        ASSERT_TRUE (file.setLastModificationTime (old));

    ScanStart::prepareFiles (test.settings, "Studio");

    EXPECT_FALSE (leftover.exists());
    EXPECT_FALSE (settingsLeftover.exists());
    EXPECT_TRUE (beingWritten.exists());
    EXPECT_TRUE (notALeftover.exists());
    EXPECT_TRUE (notHex.exists());
}
