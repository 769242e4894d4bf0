#include "gui/prefs/PrefsPanel.h"

#include "core/inventory/PluginFormats.h"
#include "gui/prefs/cobaltlinePrefs_Paths.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <map>

#include <stdexcept>

namespace
{
    class PreferencesTest : public ::testing::Test
    {
    protected:
        ~PreferencesTest() override
        {
            closeWindows();
        }

        /** The panel shown as the navigation bar shows it; returns the window. */
        juce::DialogWindow* show()
        {
            panel.show();
            pumpMessages();
            return topWindowNamed ("Preferences");
        }

        void showPage (const juce::String& name)
        {
            panel.setCurrentPage (name);
        }

        template <typename ComponentType>
        ComponentType& child (const juce::String& name)
        {
            auto* found = dynamic_cast<ComponentType*> (findChildNamed (panel, name));

            if (found == nullptr)
                throw std::runtime_error ("no child named " + name.toStdString());

            return *found;
        }

        juce::String text (const juce::String& field)   { return child<juce::TextEditor> (field).getText(); }
        void type (const juce::String& field, const juce::String& value)   { child<juce::TextEditor> (field).setText (value); }

        void click (const juce::String& button)
        {
            child<juce::Button> (button).triggerClick();
            pumpMessages();
        }

        static juce::DialogWindow* topWindowNamed (const juce::String& name)
        {
            for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
                if (auto* window = dynamic_cast<juce::DialogWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
                    if (window->getName() == name)
                        return window;

            return nullptr;
        }

        static void closeWindow (const juce::String& name)
        {
            if (auto* window = topWindowNamed (name))
                window->exitModalState (0);

            pumpMessages();
        }

        /** Writes Profile.xml as a dialog or the other tab's preferences would. */
        void storeProfile (const juce::String& machineName, const juce::String& email, const juce::String& password)
        {
            writeTestProfile (test.settings, machineName, email, password);
        }

        static void closeWindows()
        {
            for (auto* name : { "Preferences", "Forgotten Password Reset", "Edit Profile" })
                while (auto* window = topWindowNamed (name))
                {
                    window->exitModalState (0);
                    pumpMessages();
                }
        }

        LoopbackHttpServer server { answeringScansWith ("<Current/>") };
        TestContext test { server.getBaseUrl() };
        PrefsPanel panel { test.get() };
    };

    using PathsPageTest = PreferencesTest;
}

TEST_F (PreferencesTest, TheSharedLookColoursEveryButtonAndDrawsItsText)
{
    juce::TextButton button ("Save Settings");
    EXPECT_EQ (button.findColour (juce::TextButton::buttonColourId), juce::Colour (0xff636363));
    EXPECT_EQ (button.findColour (juce::TextButton::textColourOffId), juce::Colour (0xffffffff));
    EXPECT_EQ (button.findColour (juce::TextEditor::backgroundColourId), juce::Colour (0xff191919));
    EXPECT_EQ (button.findColour (juce::ListBox::backgroundColourId), juce::Colour (0xff3b3b3b));

    // Text is drawn: some pixels of the button are near white.
    button.setSize (120, 22);
    const auto image = button.createComponentSnapshot (button.getLocalBounds());
    int light = 0;

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt (x, y).getBrightness() > 0.8f)
                ++light;

    EXPECT_GT (light, 20);
}

TEST_F (PreferencesTest, TheWindowShowsTheProfilePageAndKeepsUnsavedEdits)
{
    EXPECT_EQ (panel.getCurrentPageName(), juce::String ("Profile"));
    EXPECT_EQ (panel.getButtonSize(), 58);

    auto* window = show();
    ASSERT_NE (window, nullptr);
    EXPECT_EQ (window->getContentComponent(), &panel);
    EXPECT_FALSE (window->isResizable());
    EXPECT_FALSE (window->escapeKeyPressed());

    type ("EMail", "edited@example.com");
    window->exitModalState (0);
    pumpMessages();
    EXPECT_EQ (topWindowNamed ("Preferences"), nullptr);

    show();
    EXPECT_EQ (text ("EMail"), juce::String ("edited@example.com"));
    EXPECT_FALSE (test.settings.getProfileFile().exists());

    // Leaving the page drops the edits: the page is made again from the file.
    showPage ("Paths");
    showPage ("Profile");
    EXPECT_EQ (text ("EMail"), juce::String());
}

TEST_F (PreferencesTest, FieldsLeftAloneFollowTheFileWhenTheWindowIsShownAgain)
{
    // Signing up writes the profile while the page is already made.
    show();
    closeWindow ("Preferences");
    storeProfile ("Studio", "ada@example.com", "First Pass1!");

    show();
    EXPECT_EQ (text ("EMail"), juce::String ("ada@example.com"));
    EXPECT_EQ (text ("password"), juce::String ("First Pass1!"));
    EXPECT_EQ (text ("machineName"), juce::String ("Studio"));

    // A reset stores a new password; the machine name was being edited.
    type ("machineName", "Studio B");
    closeWindow ("Preferences");
    storeProfile ("Studio", "ada@example.com", "Second Pass2!");

    show();
    EXPECT_EQ (text ("password"), juce::String ("Second Pass2!"));
    EXPECT_EQ (text ("machineName"), juce::String ("Studio B"));
}

TEST_F (PreferencesTest, SavingNeverUndoesANewerValueOfAFieldLeftAlone)
{
    storeProfile ("Studio", "ada@example.com", "First Pass1!");
    show();
    type ("machineName", "Studio B");

    // Meanwhile an edit of the profile stores a new address, a reset a new password.
    storeProfile ("Studio", "lovelace@example.com", "Second Pass2!");
    const auto storedPassword = test.settings.loadProfile()->getStringAttribute ("Password");
    click ("saveSettings");

    const auto profile = test.settings.loadProfile();
    EXPECT_EQ (profile->getStringAttribute ("MachineName"), juce::String ("Studio B"));
    EXPECT_EQ (profile->getStringAttribute ("Email"), juce::String ("lovelace@example.com"));
    EXPECT_EQ (profile->getStringAttribute ("Password"), storedPassword);
}

TEST_F (PreferencesTest, ADialogOpenedFromThePageBringsItInLineWhenItCloses)
{
    storeProfile ("Studio", "ada@example.com", "First Pass1!");
    show();
    type ("EMail", "typed@example.com");
    click ("forgotPassword");
    ASSERT_NE (topWindowNamed ("Forgotten Password Reset"), nullptr);

    // The reset succeeded: the dialog stored the new password.
    storeProfile ("Studio", "ada@example.com", "Second Pass2!");
    closeWindow ("Forgotten Password Reset");

    EXPECT_EQ (text ("password"), juce::String ("Second Pass2!"));
    EXPECT_EQ (text ("EMail"), juce::String ("typed@example.com"));
}

TEST_F (PreferencesTest, TheProfilePageSavesWhatWasTypedWithTheEncipheredPassword)
{
    show();
    type ("EMail", " ada@example.com ");
    type ("password", juce::String::fromUTF8 ("p\xc3\xa4ss word"));
    type ("machineName", "Studio PC ");
    click ("saveSettings");

    EXPECT_EQ (topWindowNamed ("Preferences"), nullptr);   // saving closes the window

    const auto profile = juce::parseXML (test.settings.getProfileFile());
    ASSERT_NE (profile, nullptr);
    EXPECT_EQ (profile->getAttributeName (0), juce::String ("MachineName"));
    EXPECT_EQ (profile->getStringAttribute ("MachineName"), juce::String ("Studio PC "));
    EXPECT_EQ (profile->getStringAttribute ("Email"), juce::String (" ada@example.com "));
    EXPECT_EQ (profile->getStringAttribute ("Password"), test.settings.encipherPassword (juce::String::fromUTF8 ("p\xc3\xa4ss word")));

    // A fresh page shows the same password.
    showPage ("Paths");
    showPage ("Profile");
    EXPECT_EQ (text ("password"), juce::String::fromUTF8 ("p\xc3\xa4ss word"));
}

TEST_F (PreferencesTest, SavingEmptyFieldsWritesAnEmptyProfile)
{
    show();
    click ("saveSettings");

    EXPECT_EQ (readText (test.settings.getProfileFile()),
               juce::String ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n"
                             "<CobaltlineProfile MachineName=\"\" Email=\"\" Password=\"\"/>\r\n"));
}

TEST_F (PreferencesTest, TheFieldsComeFromTheDefaultsUntilAProfileExists)
{
    test.settings.getDataFolder().getChildFile ("Defaults_Profile.xml")
        .replaceWithText ("<CobaltlineProfile MachineName=\"Default PC\" Email=\"d@example.com\" Password=\"zz\"/>");
    showPage ("Paths");
    showPage ("Profile");

    EXPECT_EQ (text ("machineName"), juce::String ("Default PC"));
    EXPECT_EQ (text ("EMail"), juce::String ("d@example.com"));
    EXPECT_EQ (text ("password"), juce::String());   // not a stored form: nothing

    test.settings.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=");   // unreadable
    showPage ("Paths");
    showPage ("Profile");
    EXPECT_EQ (text ("machineName"), juce::String());
}

TEST_F (PreferencesTest, AMachineNameThatLeadsOutOfTheDataFolderIsRefused)
{
    show();
    type ("EMail", "a@b.c");

    for (auto* name : { "../x", "/tmp/x", "a\\b", ".", "..", "tab\there", "line\nend" })
    {
        type ("machineName", name);
        click ("saveSettings");

        ASSERT_FALSE (test.desktop.getAlerts().empty()) << name;
        EXPECT_EQ (test.desktop.getAlerts().back().title, juce::String ("Invalid Machine Name"));
        EXPECT_NE (topWindowNamed ("Preferences"), nullptr) << name;   // still open
        EXPECT_EQ (text ("machineName"), juce::String (name));
    }

    EXPECT_FALSE (test.settings.getProfileFile().exists());
    EXPECT_EQ (test.settings.getDataFolder().getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

TEST_F (PreferencesTest, AProfileThatCannotBeWrittenIsToldAndTheWindowStays)
{
    test.settings.getProfileFile().createDirectory();
    test.settings.getProfileFile().getChildFile ("in the way").replaceWithText ("x");
    show();
    type ("machineName", "Studio");
    click ("saveSettings");

    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("Settings Not Saved"));
    EXPECT_NE (topWindowNamed ("Preferences"), nullptr);
    EXPECT_EQ (text ("machineName"), juce::String ("Studio"));
}

TEST_F (PreferencesTest, ForgottenPasswordNeedsNoConnectionButEditProfileDoes)
{
    test.setServiceUrl (LoopbackHttpServer::getUnusedBaseUrl());
    show();

    click ("forgotPassword");
    auto* forgot = topWindowNamed ("Forgotten Password Reset");
    ASSERT_NE (forgot, nullptr);
    EXPECT_EQ (forgot->getContentComponent()->getWidth(), 477);
    EXPECT_EQ (forgot->getContentComponent()->getHeight(), 170);
    EXPECT_TRUE (test.desktop.getAlerts().empty());

    click ("editProfile");
    ASSERT_TRUE (pumpUntil ([this] { return child<juce::Button> ("editProfile").isEnabled(); }));   // the check is done
    EXPECT_EQ (topWindowNamed ("Edit Profile"), nullptr);
    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("No Internet Connection"));
}

//==============================================================================
TEST_F (PathsPageTest, RowsShowTheStoredFoldersTicksAndFormatsTheBoxOffers)
{
    test.settings.getPathsFile().replaceWithText (
        "<CobaltlinePaths path3=\"/music/vst\" pathFormat3=\"4\" scanToggle3=\"0\""
        " scanToggle5=\"true\" pathFormat5=\"5\" scanToggle6=\" yes\" pathFormat6=\"6\" scanToggle8=\"no\""
        " pathFormat7=\"1\" pathFormat9=\"3\" pathFormat10=\"VST3\"/>");
    showPage ("Paths");
    pumpMessages();

    EXPECT_EQ (text ("path3"), juce::String ("/music/vst"));
    EXPECT_EQ (text ("path5"), juce::String());
    EXPECT_EQ (child<juce::Label> ("pathLabel10").getText(), juce::String ("Path 10:"));
    EXPECT_EQ (child<juce::Component> ("scanToggle10").getBounds(), juce::Rectangle<int> (620, 300, 20, 20));

    // AAX, VST3 and CLAP as stored; AU, RTAS/TDM and anything else as VST.
    const std::map<int, juce::String> shown { { 3, "AAX" }, { 5, "VST3" }, { 6, "CLAP" } };

    for (int n = 1; n <= 10; ++n)
    {
        auto& format = child<juce::ComboBox> ("pathFormat" + juce::String (n));
        const auto expected = shown.count (n) > 0 ? shown.at (n) : juce::String ("VST");
        EXPECT_EQ (format.getText(), expected) << n;
        EXPECT_EQ (format.getNumItems(), 6);
        EXPECT_FALSE (format.isItemEnabled (1));
        EXPECT_FALSE (format.isItemEnabled (3));

        for (const auto id : { 2, 4, 5, 6 })
            EXPECT_TRUE (format.isItemEnabled (id)) << id;

        EXPECT_EQ (child<juce::ToggleButton> ("scanToggle" + juce::String (n)).getToggleState(), n == 5 || n == 6) << n;
    }
}

TEST_F (PathsPageTest, AnUnreadableFileGivesEmptyRowsWithTheirBoxesOff)
{
    test.settings.getPathsFile().replaceWithText ("path1=/music scanToggle1=1 <<<");
    showPage ("Paths");

    for (int n = 1; n <= 10; ++n)
    {
        EXPECT_EQ (text ("path" + juce::String (n)), juce::String()) << n;
        EXPECT_FALSE (child<juce::ToggleButton> ("scanToggle" + juce::String (n)).getToggleState()) << n;
    }
}

TEST_F (PathsPageTest, SavingWritesAllThirtyAttributesInOrder)
{
    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path3=\"/music\" pathFormat3=\"4\" scanToggle3=\"yes\"/>");
    show();
    showPage ("Paths");
    pumpMessages();
    click ("saveSettings");

    EXPECT_EQ (topWindowNamed ("Preferences"), nullptr);
    const auto paths = juce::parseXML (test.settings.getPathsFile());
    ASSERT_NE (paths, nullptr);
    ASSERT_EQ (paths->getNumAttributes(), 30);

    for (int n = 1; n <= 10; ++n)
    {
        const juce::String number (n);
        const auto first = (n - 1) * 3;
        EXPECT_EQ (paths->getAttributeName (first), "path" + number);
        EXPECT_EQ (paths->getAttributeName (first + 1), "pathFormat" + number);
        EXPECT_EQ (paths->getAttributeName (first + 2), "scanToggle" + number);
        EXPECT_EQ (paths->getAttributeValue (first), n == 3 ? juce::String ("/music") : juce::String());
        EXPECT_EQ (paths->getAttributeValue (first + 1), juce::String (n == 3 ? "4" : "2"));   // AAX kept
        EXPECT_EQ (paths->getAttributeValue (first + 2), juce::String (n == 3 ? "1" : "0"));
    }
}

TEST_F (PathsPageTest, RowsLeftAloneFollowTheFileAndKeepItsNewerValuesWhenSaved)
{
    showPage ("Paths");
    show();
    type ("path2", "/typed/folder");
    closeWindow ("Preferences");

    // The other tab's preferences saved a folder meanwhile.
    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path1=\"/other/tab\" scanToggle1=\"1\"/>");
    show();
    EXPECT_EQ (text ("path1"), juce::String ("/other/tab"));
    EXPECT_TRUE (child<juce::ToggleButton> ("scanToggle1").getToggleState());
    EXPECT_EQ (text ("path2"), juce::String ("/typed/folder"));

    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path1=\"/newer\" scanToggle1=\"1\" path3=\"/third\"/>");
    click ("saveSettings");

    const auto paths = test.settings.loadPaths();
    EXPECT_EQ (paths->getStringAttribute ("path1"), juce::String ("/newer"));
    EXPECT_EQ (paths->getStringAttribute ("scanToggle1"), juce::String ("1"));
    EXPECT_EQ (paths->getStringAttribute ("path2"), juce::String ("/typed/folder"));
    EXPECT_EQ (paths->getStringAttribute ("path3"), juce::String ("/third"));
}

TEST_F (PathsPageTest, BrowsePutsThePickedFolderInItsRowOnly)
{
    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path4=\"" + test.temp.get().getFullPathName() + "/missing\"/>");
    showPage ("Paths");

    click ("pathBrowse4");   // cancelled
    EXPECT_EQ (text ("path4"), test.temp.get().getFullPathName() + "/missing");

    const auto requests = test.desktop.getFolderRequests();
    ASSERT_EQ (requests.size(), 1u);
    EXPECT_EQ (requests[0].first, juce::String ("Select a plugin directory to add..."));
    EXPECT_EQ (requests[0].second, test.temp.get());   // the nearest folder that exists

    test.desktop.pickFolder (test.temp["Plugins"]);
    click ("pathBrowse4");
    EXPECT_EQ (text ("path4"), test.temp["Plugins"].getFullPathName());
    EXPECT_EQ (text ("path5"), juce::String());
    EXPECT_FALSE (child<juce::ToggleButton> ("scanToggle4").getToggleState());
}

TEST_F (PathsPageTest, FindFoldersFillsEmptyRowsOnlyAndSaysWhatItLeftOut)
{
    struct TwelveFolders final : public PluginFolderFinder::Sources
    {
        bool isWindows() const override                                           { return false; }
        bool isFolder (const juce::String& path) const override                   { return path.startsWith ("/found/"); }
        bool holdsExtension (const juce::String&, const juce::String& e) const override   { return e == ".vst3"; }
        juce::String getEnvironmentVariable (const juce::String&) const override  { return {}; }
        juce::String getHomeFolder() const override                                { return "/home/me"; }
        juce::StringArray getRegistryValues (const juce::String&) const override  { return {}; }
        juce::String readTextFile (const juce::String&) const override
        {
            juce::String dirs;

            for (int i = 1; i <= 12; ++i)
                dirs << "\"/found/" << i << "\",";

            return "plugin_dirs = [" + dirs + "]";
        }
    } sources;

    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path2=\"/mine\" pathFormat2=\"2\" scanToggle2=\"0\"/>");
    show();
    showPage ("Paths");
    pumpMessages();

    auto& page = child<cobaltlinePrefs_Paths> ("cobaltlinePrefs_Paths");
    page.setFolderSources (sources);
    click ("findFolders");
    ASSERT_TRUE (pumpUntil ([&page] { return page.isEnabled(); }));

    // Row 2 is kept; the nine empty rows take the first nine folders, ticked, as VST3.
    EXPECT_EQ (text ("path2"), juce::String ("/mine"));
    EXPECT_FALSE (child<juce::ToggleButton> ("scanToggle2").getToggleState());
    EXPECT_EQ (text ("path1"), juce::String ("/found/1"));
    EXPECT_EQ (text ("path3"), juce::String ("/found/2"));
    EXPECT_EQ (text ("path10"), juce::String ("/found/9"));
    EXPECT_EQ (child<juce::ComboBox> ("pathFormat10").getText(), juce::String ("VST3"));
    EXPECT_TRUE (child<juce::ToggleButton> ("scanToggle10").getToggleState());

    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("Find Folders"));
    EXPECT_EQ (test.desktop.getAlerts()[0].message,
               juce::String ("Added 9 plugin folders; 3 more were found, but no empty rows were left for them."));

    // Saved only when the user saves.
    EXPECT_FALSE (test.settings.readScanFolders().rows[0].scan);
    click ("saveSettings");
    EXPECT_EQ (test.settings.readScanFolders().rows[9], (ScanFolder { "/found/9", PluginFormats::vst3, true }));
}
