// The tables beyond their rows: the filter, updates set aside, the row menu
// and keys, tooltips, the notes in the empty area and the last scan's line.

#include "core/tables/ScanDetails.h"
#include "core/updates/IgnoredUpdates.h"
#include "core/updates/StaleResults.h"
#include "gui/main/Cobaltline.h"
#include "gui/views/InstalledTab.h"
#include "gui/views/NotRecognisedTab.h"
#include "gui/views/UpdatesTab.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    class TableFeaturesTest : public ::testing::Test
    {
    protected:
        TableFeaturesTest()
        {
            writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
        }

        juce::File machineFile (const char* suffix) const   { return test.settings.getMachineFile (suffix); }

        /** Replaces the file whole, as the scan does, so that a reload sees a new file. */
        static void replaceWhole (const juce::File& file, const juce::String& text)
        {
            const auto next = file.getSiblingFile ("next.tmp");
            ASSERT_TRUE (next.replaceWithText (text));
            ASSERT_TRUE (next.moveFileTo (file));
        }

        void writeUpdates (const juce::String& rows)
        {
            replaceWhole (machineFile (SettingsStore::updateListSuffix), "<UpdateList>" + rows + "</UpdateList>");
        }

        void writeInventory (const juce::String& rows)
        {
            replaceWhole (machineFile (SettingsStore::inventorySuffix),
                          "<MachineProfile MachineName=\"Studio\">" + rows + "</MachineProfile>");
        }

        void writeDetails (const ScanDetails& details)
        {
            ASSERT_TRUE (details.writeTo (machineFile (SettingsStore::scanDetailsSuffix)));
        }

        /** Asks for a reload and runs the message loop until the condition holds. */
        static bool reloadUntil (PluginTableList& list, std::function<bool()> condition)
        {
            list.timerCallback();
            return pumpUntil ([&] { list.timerCallback(); return condition(); }, 5000);
        }

        static juce::StringArray shownNames (PluginTableList& list)
        {
            juce::StringArray names;

            for (int i = 0; i < list.getNumRows(); ++i)
                names.add (list.getRow (i)->name);

            return names;
        }

        /** Types into the filter field; the field tells of the change through the message loop. */
        static void typeFilter (PluginTableList& list, const juce::String& text)
        {
            list.getFilterField().setText (text);
            pumpMessages (30);
        }

        static const char* threeUpdates()
        {
            return "<Plugin Name=\"Phaser\" Vendor=\"Acme\" Format=\"VST\" InstalledVersion=\"1.0\" CurrentVersion=\"2.0\"/>"
                   "<Plugin Name=\"Delay\" Vendor=\"Echo Labs\" Format=\"VST3\" InstalledVersion=\"1.0\" CurrentVersion=\"1.5\"/>"
                   "<Plugin Name=\"Reverb\" Vendor=\"ACME\" Format=\"CLAP\" InstalledVersion=\"3.0\" CurrentVersion=\"3.1\"/>";
        }

        TestContext test;
    };
}

TEST_F (TableFeaturesTest, TheFilterKeepsMatchingNamesAndVendorsThroughReloadsAndNewScans)
{
    UpdatesTab tab (test.get());
    auto& list = tab.getTableList();
    writeUpdates (threeUpdates());
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRows() == 3; }));
    EXPECT_EQ (list.getCountText(), "3 of 3");

    // Vendor or name, in any case.
    typeFilter (list, "acme");
    EXPECT_EQ (shownNames (list), juce::StringArray ("Phaser", "Reverb"));
    EXPECT_EQ (list.getCountText(), "2 of 3");
    typeFilter (list, "DEL");
    EXPECT_EQ (shownNames (list), juce::StringArray ("Delay"));

    // The 500 ms reload and a new scan's file keep the filter.
    list.timerCallback();
    pumpMessages (100);
    EXPECT_EQ (shownNames (list), juce::StringArray ("Delay"));

    writeUpdates (juce::String (threeUpdates()) + "<Plugin Name=\"Delay Pro\" Vendor=\"Other\"/>");
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRowsInFile() == 4; }));
    EXPECT_EQ (shownNames (list), juce::StringArray ("Delay", "Delay Pro"));
    EXPECT_EQ (list.getCountText(), "2 of 4");
    EXPECT_TRUE (list.getEmptyReason().isEmpty());

    typeFilter (list, "zzz");
    EXPECT_EQ (list.getNumRows(), 0);
    EXPECT_EQ (list.getEmptyReason(), "No plug-in's name or vendor contains \"zzz\".");
}

TEST_F (TableFeaturesTest, AnIgnoredVersionStaysHiddenUntilANewerOneAppears)
{
    {
        UpdatesTableList list (test.get());
        writeUpdates (threeUpdates());
        ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRows() == 3; }));

        // Sorted by name: Delay, Phaser, Reverb.
        test.desktop.chooseMenuEntry ("Ignore This Version");
        list.showRowMenu (1);
        EXPECT_EQ (shownNames (list), juce::StringArray ("Delay", "Reverb"));
        EXPECT_EQ (list.getCountText(), "2 of 3");

        test.desktop.chooseMenuEntry ("Ignore All Updates of This Plug-in");
        list.showRowMenu (0);
        EXPECT_EQ (shownNames (list), juce::StringArray ("Reverb"));

        const auto menus = test.desktop.getMenus();
        ASSERT_EQ (menus.size(), 2u);
        juce::StringArray texts;

        for (const auto& entry : menus[0])
            texts.add (entry.text);

        EXPECT_EQ (texts, juce::StringArray ("Ignore This Version", "Ignore All Updates of This Plug-in",
                                             "Open Website", "Copy Name and Version"));
    }

    // The choices live in their own file: a new table (the next start) keeps them, through reloads.
    UpdatesTableList list (test.get());
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRowsInFile() == 3; }));
    EXPECT_EQ (shownNames (list), juce::StringArray ("Reverb"));

    // "Show Ignored" shows them greyed, with "Stop Ignoring" in their menu.
    list.getShowIgnoredToggle().setToggleState (true, juce::sendNotificationSync);
    EXPECT_EQ (shownNames (list), juce::StringArray ("Delay", "Phaser", "Reverb"));
    EXPECT_TRUE (list.isIgnored (0));
    EXPECT_TRUE (list.isIgnored (1));
    EXPECT_FALSE (list.isIgnored (2));

    test.desktop.chooseMenuEntry ("Stop Ignoring");
    list.showRowMenu (0);
    EXPECT_FALSE (list.isIgnored (0));
    list.getShowIgnoredToggle().setToggleState (false, juce::sendNotificationSync);
    EXPECT_EQ (shownNames (list), juce::StringArray ("Delay", "Reverb"));

    // A newer version of the ignored one brings its row back; the same version, in other words, does not.
    writeUpdates ("<Plugin Name=\"PHASER\" Vendor=\"acme\" Format=\"VST\" InstalledVersion=\"1.0\" CurrentVersion=\"2.00\"/>");
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRowsInFile() == 1; }));
    EXPECT_EQ (list.getNumRows(), 0);
    EXPECT_EQ (list.getEmptyReason(), "Every update on the list is ignored. Tick \"Show Ignored\" to see them.");

    writeUpdates ("<Plugin Name=\"Phaser\" Vendor=\"Acme\" Format=\"VST\" InstalledVersion=\"1.0\" CurrentVersion=\"2.01\"/>");
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRows() == 1; }));
}

TEST_F (TableFeaturesTest, ADamagedIgnoreListIsReportedOnceAndKeptAside)
{
    const auto file = IgnoredUpdates::fileIn (test.dataFolder());
    ASSERT_TRUE (file.replaceWithText ("<CobaltlineIgnoredUpdates><Ignore Name="));

    {
        UpdatesTableList list (test.get());
        pumpMessages (100);
    }

    {
        UpdatesTableList again (test.get());
        pumpMessages (100);
    }

    const auto alerts = test.desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, "Ignored Updates Reset");
    EXPECT_EQ (readText (file.getSiblingFile ("IgnoredUpdates.damaged.xml")), "<CobaltlineIgnoredUpdates><Ignore Name=");
}

TEST_F (TableFeaturesTest, TheRowMenuOpensCopiesAndShowsTheFolder)
{
    InstalledTableList list (test.get());
    const auto plugin = test.temp["Plugins/Phaser.dll"].getFullPathName();
    writeInventory ("<Plugin Name=\"Phaser\" Version=\"1.23\" Vendor=\"Acme\" Path=\"" + plugin + "\" Format=\"VST\" Error=\"\"/>");
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRows() == 1; }));

    test.desktop.chooseMenuEntry ("Copy Name and Version");
    list.showRowMenu (0);
    EXPECT_EQ (test.desktop.getClipboard(), "Phaser 1.23");

    test.desktop.chooseMenuEntry ("Open Website");
    list.showRowMenu (0);
    test.desktop.chooseMenuEntry ("Show in Folder");
    list.showRowMenu (0);

    const auto urls = test.desktop.getUrls();
    ASSERT_EQ (urls.size(), 2u);
    EXPECT_EQ (urls[0], "https://www.google.com/search?q=Acme%20Phaser");
    EXPECT_EQ (urls[1], juce::URL (test.temp["Plugins"]).toString (false));

    // Nothing chosen, nothing done; no row, no menu.
    test.desktop.chooseMenuEntry ({});
    list.showRowMenu (0);
    list.showRowMenu (5);
    EXPECT_EQ (test.desktop.getMenus().size(), 4u);
    EXPECT_EQ (test.desktop.getUrls().size(), 2u);
}

TEST_F (TableFeaturesTest, TheKeyboardReachesTheRowsAndTheirMenu)
{
    UpdatesTab tab (test.get());
    auto& list = tab.getTableList();
    writeUpdates (threeUpdates());
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRows() == 3; }));

    // Tab goes from the bar's buttons to the filter, "Show Ignored" and the rows.
    std::unique_ptr<juce::ComponentTraverser> traverser (tab.createKeyboardFocusTraverser());
    const auto order = traverser->getAllComponents (&tab);
    const auto position = [&order] (juce::Component* c) { return std::find (order.begin(), order.end(), c) - order.begin(); };
    const auto scanAt = position (findChildNamed (tab.getNavigation(), "scan"));
    const auto importAt = position (findChildNamed (tab.getNavigation(), "import"));
    ASSERT_LT (importAt, (long) order.size());
    EXPECT_LT (scanAt, importAt);
    EXPECT_LT (importAt, position (&list.getFilterField()));
    EXPECT_LT (position (&list.getFilterField()), position (&list.getShowIgnoredToggle()));
    EXPECT_LT (position (&list.getShowIgnoredToggle()), position (&list.getTable()));
    EXPECT_LT (position (&list.getTable()), (long) order.size());

    // Return on a row opens it like a double-click; Shift+F10 opens its menu.
    list.getTable().selectRow (1);
    list.returnKeyPressed (1);
    EXPECT_EQ (test.desktop.getUrls(), std::vector<juce::String> { "https://www.google.com/search?q=Acme%20Phaser" });

    test.desktop.chooseMenuEntry ("Copy Name and Version");
    EXPECT_TRUE (list.keyPressed (juce::KeyPress (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_EQ (test.desktop.getClipboard(), "Phaser 2.0");

    // The selection stays with its plug-in when a new list puts it elsewhere.
    writeUpdates ("<Plugin Name=\"Amp\" Vendor=\"Zed\"/>" + juce::String (threeUpdates()));
    ASSERT_TRUE (reloadUntil (list, [&] { return list.getNumRows() == 4; }));
    EXPECT_EQ (list.getRow (list.getTable().getSelectedRow())->name, "Phaser");
}

TEST_F (TableFeaturesTest, EachEmptyTableSaysWhy)
{
    UpdatesTableList updates (test.get());
    InstalledTableList installed (test.get());
    NotRecognisedTableList unused (test.get());

    // Nothing is said before the files are read: an update list that is
    // still being read is no sign that nothing was scanned yet.
    for (auto* list : { (PluginTableList*) &updates, (PluginTableList*) &installed, (PluginTableList*) &unused })
        EXPECT_TRUE (list->getEmptyReason().isEmpty()) << list->getName();

    for (auto* list : { (PluginTableList*) &updates, (PluginTableList*) &installed, (PluginTableList*) &unused })
        EXPECT_TRUE (reloadUntil (*list, [&] { return list->getEmptyReason().startsWith ("No scan yet."); }))
            << list->getName();

    // The service could not be reached: the inventory stands, the updates were not checked.
    ScanDetails details;
    details.updateCheck = ScanDetails::UpdateCheck::notChecked;
    writeDetails (details);
    writeInventory ("<Plugin Name=\"Phaser\" Version=\"1.0\" Vendor=\"Acme\" Path=\"/p/Phaser.dll\" Format=\"VST\" Error=\"\"/>");
    ASSERT_TRUE (reloadUntil (updates, [&] { return updates.getEmptyReason().contains ("could not be reached"); }));
    ASSERT_TRUE (reloadUntil (installed, [&] { return installed.getNumRows() == 1; }));
    EXPECT_TRUE (installed.getEmptyReason().isEmpty());
    ASSERT_TRUE (reloadUntil (unused, [&] { return unused.getEmptyReason().contains ("was recognised"); }));

    // The service refused the scan: its own words.
    replaceWhole (machineFile (SettingsStore::updateListSuffix),
                  "<Errors ErrorTitle=\"Login Failed\" ErrorText=\"Your password is wrong.\"/>");
    ASSERT_TRUE (reloadUntil (updates, [&] {
        return updates.getEmptyReason() == "The update service refused the last scan: Login Failed: Your password is wrong."; }));

    // Results an hour old are cleared at start, and the tables say so.
    machineFile (SettingsStore::updateListSuffix).setLastModificationTime (juce::Time::getCurrentTime() - juce::RelativeTime::hours (2));
    StaleResults::purge (test.settings, juce::Time::getCurrentTime());

    for (auto* list : { (PluginTableList*) &updates, (PluginTableList*) &installed, (PluginTableList*) &unused })
        EXPECT_TRUE (reloadUntil (*list, [&] { return list->getEmptyReason().contains ("cleared when Cobaltline started"); }))
            << list->getName() << ": " << list->getEmptyReason();
}

TEST_F (TableFeaturesTest, TheLastScanIsToldAndEveryRowTellsItsFile)
{
    ScanDetails details;
    details.updateCheck = ScanDetails::UpdateCheck::checked;
    details.updates = 1;
    details.kept = { { "/a/Phaser.dll", "Phaser", "Acme", "VST", "1, 0, 0, 1" },
                     { "/b/Phaser.dll", "Phaser", "Acme", "VST", "1.0.0.1 beta" } };
    details.rejected = { { "/a/Broken.dll", "VST", "", ScanDetails::Reason::noVersionResource },
                         { "/a/Twelve.dll", "VST", "12", ScanDetails::Reason::noVersionNumber } };
    writeDetails (details);
    writeInventory ("<Plugin Name=\"Phaser\" Version=\"1.001\" Vendor=\"Acme\" Path=\"/a/Phaser.dll\" Format=\"VST\" Error=\"\"/>"
                    "<Plugin Name=\"Phaser\" Version=\"1.001\" Vendor=\"Acme\" Path=\"/b/Phaser.dll\" Format=\"VST\" Error=\"\"/>");
    writeUpdates ("<Plugin Name=\"Phaser\" Vendor=\"Acme\" Format=\"VST\" InstalledVersion=\"1.001\" CurrentVersion=\"2.0\"/>");

    InstalledTableList installed (test.get());
    ASSERT_TRUE (reloadUntil (installed, [&] { return installed.getNumRows() == 2; }));
    EXPECT_EQ (installed.getStatusLine(), "Last scan: 2 plug-ins kept, 1 with an update, 2 files not recognised.");

    // Two rows alike are told apart by their files.
    EXPECT_EQ (installed.getCellTooltip (0, 1), "/a/Phaser.dll\nVersion as the file states it: \"1, 0, 0, 1\"");
    EXPECT_EQ (installed.getCellTooltip (1, 1), "/b/Phaser.dll\nVersion as the file states it: \"1.0.0.1 beta\"");

    // An update stands for every file of its plug-in.
    UpdatesTableList updates (test.get());
    ASSERT_TRUE (reloadUntil (updates, [&] { return updates.getNumRows() == 1; }));
    EXPECT_EQ (updates.getCellTooltip (0, 5), "/a/Phaser.dll\nVersion as the file states it: \"1, 0, 0, 1\"\n"
                                              "/b/Phaser.dll\nVersion as the file states it: \"1.0.0.1 beta\"");

    // The files the scan could not use, with the reason.
    NotRecognisedTableList unused (test.get());
    ASSERT_TRUE (reloadUntil (unused, [&] { return unused.getNumRows() == 2; }));
    EXPECT_EQ (unused.getRow (0)->name, "Broken.dll");
    EXPECT_EQ (unused.getRow (0)->remark, "No version resource");
    EXPECT_EQ (unused.getRow (1)->remark, "No version number");
    EXPECT_EQ (unused.getRow (1)->installedVersion, "12");

    unused.openRow (0);
    EXPECT_EQ (test.desktop.getUrls(), std::vector<juce::String> { juce::URL (juce::File ("/a")).toString (false) });
}
