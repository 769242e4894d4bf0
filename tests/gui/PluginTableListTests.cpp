#include "gui/views/InstalledTab.h"
#include "gui/views/UpdatesTab.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    class PluginTableListTest : public ::testing::Test
    {
    protected:
        PluginTableListTest()
        {
            writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
        }

        void writeUpdates (const juce::String& rows)
        {
            test.settings.getMachineFile (SettingsStore::updateListSuffix)
                .replaceWithText ("<UpdateList>" + rows + "</UpdateList>");
        }

        /** Runs the message loop until the condition holds (false after 5 s). */
        static bool pumpUntil (std::function<bool()> condition)
        {
            for (auto end = juce::Time::getMillisecondCounter() + 5000; ! condition();)
            {
                if (juce::Time::getMillisecondCounter() > end)
                    return false;

                pumpMessages (5);
            }

            return true;
        }

        /** Asks for a reload and waits until the reload thread's rows are shown. */
        static bool reloadUntilRows (PluginTableList& list, int numRows)
        {
            list.timerCallback();
            return pumpUntil ([&] { return list.getNumRows() == numRows; });
        }

        static juce::StringArray shownNames (PluginTableList& list)
        {
            juce::StringArray names;

            for (int i = 0; i < list.getNumRows(); ++i)
                names.add (list.getRow (i)->name);

            return names;
        }

        void doubleClick (PluginTableList& table, int row)
        {
            const juce::MouseEvent click (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f,
                                          0.0f, 0.0f, &table, &table, juce::Time::getCurrentTime(), {},
                                          juce::Time::getCurrentTime(), 2, false);
            table.cellDoubleClicked (row, 1, click);
        }

        /** The pixels of one cell as the table paints it. */
        static juce::Image paintedCell (PluginTableList& table, int row, int column)
        {
            juce::Image image (juce::Image::RGB, 130, 22, true);
            juce::Graphics g (image);
            table.paintCell (g, row, column, 130, 22, false);
            return image;
        }

        /** The pixels of a cell showing the text. */
        static juce::Image cellShowing (const juce::String& text)
        {
            juce::Image image (juce::Image::RGB, 130, 22, true);
            juce::Graphics g (image);
            g.setColour (juce::Colour (0xffdbdbdb));
            g.drawText (text, 2, 0, 126, 22, juce::Justification::centredLeft, true);
            g.setColour (juce::Colour (0xff5e5e5e));
            g.fillRect (129, 0, 1, 22);
            return image;
        }

        static bool samePixels (const juce::Image& a, const juce::Image& b)
        {
            for (int y = 0; y < a.getHeight(); ++y)
                for (int x = 0; x < a.getWidth(); ++x)
                    if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                        return false;

            return true;
        }

        TestContext test;
    };
}

TEST_F (PluginTableListTest, TheTablesHaveTheirColumnsOrderAndTooltip)
{
    InstalledTab installed (test.get());
    UpdatesTab updates (test.get());

    EXPECT_EQ (installed.getName(), juce::String ("InstalledTab"));
    EXPECT_EQ (installed.getTableList().getName(), juce::String ("installedList"));
    EXPECT_EQ (updates.getName(), juce::String ("UpdatesTab"));
    EXPECT_EQ (updates.getTableList().getName(), juce::String ("updateList"));
    EXPECT_EQ (installed.getNavigation().getBounds(), juce::Rectangle<int> (20, 20, 880, 78));
    EXPECT_EQ (installed.getTableList().getBounds(), juce::Rectangle<int> (20, 98, 880, 502));

    const auto headers = [] (PluginTableList& list)
    {
        juce::StringArray result;
        auto& header = list.getTable().getHeader();

        for (int i = 0; i < header.getNumColumns (true); ++i)
        {
            const auto id = header.getColumnIdOfIndex (i, true);
            result.add (header.getColumnName (id) + "/" + juce::String (header.getColumnWidth (id)));
        }

        return result;
    };

    EXPECT_EQ (headers (installed.getTableList()),
               juce::StringArray ("Name/240", "Vendor/120", "Format/70", "Installed Version/130"));
    EXPECT_EQ (headers (updates.getTableList()),
               juce::StringArray ("Name/240", "Vendor/120", "Format/70", "Installed Version/130", "Latest Version/130"));

    auto& table = updates.getTableList().getTable();
    EXPECT_EQ (table.getHeader().getSortColumnId(), 1);
    EXPECT_TRUE (table.getHeader().isSortedForwards());
    EXPECT_EQ (table.getTooltip(), juce::String ("Double click a plugin to find updates."));

    // The colours are the shared look's: a table on its own sets none.
    auto& defaults = juce::LookAndFeel::getDefaultLookAndFeel();
    const auto before = defaults.findColour (juce::ListBox::backgroundColourId);
    defaults.setColour (juce::ListBox::backgroundColourId, juce::Colours::red);
    { UpdatesTableList alone (test.get()); }
    EXPECT_EQ (defaults.findColour (juce::ListBox::backgroundColourId), juce::Colours::red);
    defaults.setColour (juce::ListBox::backgroundColourId, before);
}

TEST_F (PluginTableListTest, ReloadsSortsAndOpensTheRowsPages)
{
    UpdatesTab tab (test.get());
    auto& list = tab.getTableList();
    EXPECT_EQ (list.getNumRows(), 0);
    doubleClick (list, 0);   // nothing to open
    EXPECT_TRUE (test.desktop.getUrls().empty());

    writeUpdates ("<Plugin Name=\"Phaser\" Vendor=\"Acme\" Website=\"https://acme.example/phaser\"/>"
                            "<Plugin Name=\"(Old) Delay\" Vendor=\"Acme\"/>"
                            "<Plugin Name=\"Amp\" Vendor=\"\"/>");
    ASSERT_TRUE (reloadUntilRows (list, 3));

    for (int row = 0; row < 3; ++row)
        doubleClick (list, row);

    EXPECT_EQ (test.desktop.getUrls(),
               (std::vector<juce::String> { "https://www.google.com/search?q=%20Amp",
                                            "https://www.google.com/search?q=Acme%20(Old)%20Delay",
                                            "https://acme.example/phaser" }));

}

TEST_F (PluginTableListTest, TheLatestVersionIsShownShortened)
{
    UpdatesTab tab (test.get());
    auto& list = tab.getTableList();
    writeUpdates ("<Plugin Name=\"A\" InstalledVersion=\"4.000\" CurrentVersion=\"4.100\"/>");
    ASSERT_TRUE (reloadUntilRows (list, 1));

    EXPECT_TRUE (samePixels (paintedCell (list, 0, 5), cellShowing ("4.1")));
    EXPECT_TRUE (samePixels (paintedCell (list, 0, 4), cellShowing ("4.000")));   // only the latest is shortened
    EXPECT_FALSE (samePixels (paintedCell (list, 0, 5), cellShowing ("4.100")));
}

TEST_F (PluginTableListTest, AutoSizeFollowsTheWidestText)
{
    InstalledTab tab (test.get());
    auto& list = tab.getTableList();
    EXPECT_EQ (list.getColumnAutoSizeWidth (1), 0);   // nothing loaded: the column keeps its width
    EXPECT_EQ (list.getColumnAutoSizeWidth (9), 40);

    test.settings.getMachineFile (SettingsStore::inventorySuffix)
        .replaceWithText ("<MachineProfile><Plugin Name=\"A\"/><Plugin Name=\"A much longer plug-in name\"/></MachineProfile>");
    ASSERT_TRUE (reloadUntilRows (list, 2));

    const juce::Font font;
    EXPECT_EQ (list.getColumnAutoSizeWidth (1), juce::roundToInt (font.getStringWidthFloat ("A much longer plug-in name")) + 8);
    EXPECT_EQ (list.getColumnAutoSizeWidth (2), 32 + 8);   // no vendors: the least width

    // A document without rows still counts as loaded.
    test.settings.getMachineFile (SettingsStore::inventorySuffix).replaceWithText ("<Errors ErrorTitle=\"x\"/>");
    ASSERT_TRUE (reloadUntilRows (list, 0));
    EXPECT_EQ (list.getColumnAutoSizeWidth (1), 40);
}

TEST_F (PluginTableListTest, RowsComeFromTheReloadThreadAndAReplacedFileShowsAfterOneTick)
{
    UpdatesTableList list (test.get());
    writeUpdates ("<Plugin Name=\"b\" Vendor=\"2\"/><Plugin Name=\"a\" Vendor=\"1\"/>");

    // The tick only asks: nothing is read on the message thread.
    list.timerCallback();
    EXPECT_EQ (list.getNumRows(), 0);
    ASSERT_TRUE (pumpUntil ([&] { return list.getNumRows() == 2; }));
    EXPECT_EQ (shownNames (list), juce::StringArray ("a", "b"));

    // A click on a header re-sorts through the reload thread.
    list.getTable().getHeader().setSortColumnId (2, false);
    EXPECT_TRUE (pumpUntil ([&] { return shownNames (list) == juce::StringArray ("b", "a"); }));

    // The scan replaces the file whole; the next tick shows it, in the header's order.
    const auto file = test.settings.getMachineFile (SettingsStore::updateListSuffix);
    const auto next = file.getSiblingFile ("next.xml");
    next.replaceWithText ("<UpdateList><Plugin Name=\"x\" Vendor=\"1\"/><Plugin Name=\"y\" Vendor=\"3\"/>"
                          "<Plugin Name=\"z\" Vendor=\"2\"/></UpdateList>");
    ASSERT_TRUE (next.moveFileTo (file));
    ASSERT_TRUE (reloadUntilRows (list, 3));
    EXPECT_EQ (shownNames (list), juce::StringArray ("y", "z", "x"));
}

TEST_F (PluginTableListTest, ATableDestroyedWhileItsFileIsParsedIsGoneSafely)
{
    juce::MemoryOutputStream rows;

    for (int i = 0; i < 20000; ++i)
        rows << "<Plugin Name=\"Plug-in " << i << "\" Vendor=\"Acme\" CurrentVersion=\"1.0\"/>";

    writeUpdates (rows.toString());

    // Up to a wait long enough for the rows to be ready and their call posted.
    for (int delayMs : { 0, 2, 10, 40, 400 })
    {
        {
            UpdatesTableList list (test.get());
            list.timerCallback();
            juce::Thread::sleep (delayMs);
        }

        pumpMessages (20);   // a call posted for the table finds it gone
    }

    UpdatesTableList list (test.get());
    EXPECT_TRUE (reloadUntilRows (list, 20000));
}
