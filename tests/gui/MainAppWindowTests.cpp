#include "gui/main/MainAppWindow.h"
#include "gui/main/MainComponentSize.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    class MainAppWindowTest : public ::testing::Test
    {
    protected:
        ~MainAppWindowTest() override
        {
            // A first start opens the splash over the window.
            while (auto* modal = juce::Component::getCurrentlyModalComponent())
            {
                modal->exitModalState (0);
                pumpMessages();
            }
        }

        juce::File dataFolder() const   { return test.dataFolder(); }

        TestContext test;
    };
}

TEST (MainComponentSize, FollowsTheUsableAreaUpTo1024PixelsWide)
{
    EXPECT_EQ (computeMainComponentSize ({ 0, 0, 1024, 740 }), juce::Point<int> (974, 640));
    EXPECT_EQ (computeMainComponentSize ({ 0, 0, 1025, 740 }), juce::Point<int> (1024, 640));
    EXPECT_EQ (computeMainComponentSize ({ 0, 30, 1920, 1050 }), juce::Point<int> (1024, 950));
    EXPECT_EQ (computeMainComponentSize ({ 0, 0, 800, 600 }), juce::Point<int> (750, 500));
}

TEST_F (MainAppWindowTest, AFirstStartWritesTheDefaultsAndWantsTheSplash)
{
    MainAppWindow window (test.get());

    EXPECT_TRUE (dataFolder().getChildFile ("Defaults_Profile.xml").existsAsFile());
    EXPECT_TRUE (dataFolder().getChildFile ("Defaults_Paths.xml").existsAsFile());
    EXPECT_FALSE (dataFolder().getChildFile ("Profile.xml").exists());
    EXPECT_TRUE (window.wantedFirstRunSplash());

    // The splash is up over the window, which is already shown.
    auto* splash = dynamic_cast<juce::DialogWindow*> (juce::Component::getCurrentlyModalComponent());
    ASSERT_NE (splash, nullptr);
    EXPECT_EQ (splash->getName(), juce::String ("Cobaltline - First Run"));
    EXPECT_EQ (splash->getContentComponent()->getName(), juce::String ("cobaltlineFirstRunSplash"));
    EXPECT_EQ (splash->getContentComponent()->getWidth(), 477);
    EXPECT_EQ (splash->getContentComponent()->getHeight(), 220);
    EXPECT_EQ (splash->getBackgroundColour(), juce::Colour (0xff292929));
    EXPECT_FALSE (splash->isResizable());
    EXPECT_FALSE (splash->isUsingNativeTitleBar());
    EXPECT_TRUE (window.isVisible());
}

TEST_F (MainAppWindowTest, AnyProfileFileEvenAnEmptyOneMeansNoSplash)
{
    dataFolder().createDirectory();
    dataFolder().getChildFile ("Profile.xml").replaceWithText ({});

    MainAppWindow window (test.get());
    EXPECT_FALSE (window.wantedFirstRunSplash());
    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr);
}

TEST_F (MainAppWindowTest, IsTheTitledDarkResizableWindowWithAllButtons)
{
    MainAppWindow window (test.get());

    EXPECT_EQ (window.getName(), juce::String ("Cobaltline"));
    EXPECT_EQ (window.getBackgroundColour(), juce::Colour (0xff292929));
    EXPECT_FALSE (window.isUsingNativeTitleBar());
    EXPECT_NE (window.getCloseButton(), nullptr);
    EXPECT_NE (window.getMinimiseButton(), nullptr);
    EXPECT_NE (window.getMaximiseButton(), nullptr);
    EXPECT_TRUE (window.isResizable());
    EXPECT_NE (findChild<juce::ResizableBorderComponent> (window), nullptr);
    EXPECT_EQ (findChild<juce::ResizableCornerComponent> (window), nullptr);
    EXPECT_TRUE (window.isVisible());
    EXPECT_TRUE (window.isOnDesktop());
}

TEST_F (MainAppWindowTest, ContentHasTheMainComponentSizeAndTheWindowIsCentred)
{
    MainAppWindow window (test.get());
    auto* content = window.getContentComponent();
    ASSERT_NE (content, nullptr);

    const auto expected = computeMainComponentSize (getMainDisplayUsableArea());
    EXPECT_EQ (content->getWidth(), expected.x);
    EXPECT_EQ (content->getHeight(), expected.y);

    if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
    {
        const auto centre = window.getBounds().getCentre();
        EXPECT_NEAR (centre.x, display->userArea.getCentreX(), 5);   // the resizable border comes after centring
        EXPECT_NEAR (centre.y, display->userArea.getCentreY(), 5);
    }
}

TEST_F (MainAppWindowTest, CloseButtonWithoutARunningApplicationDoesNothing)
{
    MainAppWindow window (test.get());
    window.closeButtonPressed();
    EXPECT_TRUE (window.isVisible());
}

TEST_F (MainAppWindowTest, ResultsAnHourOldAreGoneBeforeTheTablesReadThem)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
    const auto list = test.settings.getMachineFile (SettingsStore::updateListSuffix);
    const auto inventory = test.settings.getMachineFile (SettingsStore::inventorySuffix);

    for (const auto& file : { list, inventory })
        file.replaceWithText ("<UpdateList/>");

    list.setLastModificationTime (test.clock.now() - juce::RelativeTime::hours (1));

    MainAppWindow window (test.get());
    EXPECT_FALSE (list.exists());
    EXPECT_FALSE (inventory.exists());
}
