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
    EXPECT_EQ (juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ListBox::backgroundColourId),
               juce::Colour (0xff3b3b3b));
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
    list.timerCallback();
    ASSERT_EQ (list.getNumRows(), 3);

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
    list.timerCallback();

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
    list.timerCallback();

    const juce::Font font;
    EXPECT_EQ (list.getColumnAutoSizeWidth (1), juce::roundToInt (font.getStringWidthFloat ("A much longer plug-in name")) + 8);
    EXPECT_EQ (list.getColumnAutoSizeWidth (2), 32 + 8);   // no vendors: the least width

    // A document without rows still counts as loaded.
    test.settings.getMachineFile (SettingsStore::inventorySuffix).replaceWithText ("<Errors ErrorTitle=\"x\"/>");
    list.timerCallback();
    EXPECT_EQ (list.getColumnAutoSizeWidth (1), 40);
}
