#include "core/context/WebAddresses.h"
#include "gui/main/Cobaltline.h"
#include "gui/main/MainComponentSize.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    const char* const versionReply =
        "<Version VersionTitle=\"Cobaltline 1.0.5\" VersionText=\"Get it now\" VersionURL=\"https://x.example/download\"/>";

    class CobaltlineTest : public ::testing::Test
    {
    protected:
        /** Runs one version check through the timer and waits for its outcome;
            returns the period the timer was restarted with.
        */
        int checkNow (Cobaltline& main)
        {
            main.getVersionCheck().checkNow();

            for (int i = 0; i < 250 && main.getVersionCheck().getPeriodMs() == 0; ++i)
                pumpMessages (20);

            return main.getVersionCheck().getPeriodMs();
        }

        LoopbackHttpServer server { answeringScansWith ("<Current/>") };
        TestContext test { server.getBaseUrl() };
    };
}

TEST_F (CobaltlineTest, HoldsTheTabsBannerAndLinkAtTheirPlaces)
{
    Cobaltline main (test.get());

    const auto expected = computeMainComponentSize (getMainDisplayUsableArea());
    EXPECT_EQ (main.getWidth(), expected.x);
    EXPECT_EQ (main.getHeight(), expected.y);

    auto& tabs = main.getTabs();
    EXPECT_EQ (tabs.getTabNames(), juce::StringArray ("Updates", "Installed", "Not Recognised"));
    EXPECT_EQ (tabs.getCurrentTabIndex(), 0);
    EXPECT_EQ (tabs.getTabBarDepth(), 35);
    EXPECT_EQ (tabs.getTabBackgroundColour (0), juce::Colour (0xff474747));
    EXPECT_EQ (tabs.getTabBackgroundColour (1), juce::Colour (0xff474747));
    EXPECT_EQ (tabs.getTabContentComponent (0), &main.getUpdatesTab());
    EXPECT_EQ (tabs.getTabContentComponent (1), &main.getInstalledTab());
    EXPECT_EQ (tabs.getTabContentComponent (2), &main.getNotRecognisedTab());
    EXPECT_EQ (tabs.getBounds(), juce::Rectangle<int> (0, 91, main.getWidth(), juce::roundToInt (main.getHeight() * 0.9747)));

    auto* banner = dynamic_cast<juce::ImageButton*> (findChildNamed (main, "bannerButton"));
    ASSERT_NE (banner, nullptr);
    EXPECT_EQ (banner->getBounds(), juce::Rectangle<int> (main.getWidth() - 473, 20, 468, 60));
    EXPECT_EQ (banner->getTooltip(), juce::String (WebAddresses::sponsorTooltip));

    auto* link = findChild<BrowserLink> (main);
    ASSERT_NE (link, nullptr);
    EXPECT_EQ (link->getButtonText(), juce::String ("Report Issues"));
    EXPECT_EQ (link->getBounds(), juce::Rectangle<int> (95, 54, 100, 20));
    EXPECT_EQ (link->getTooltip(), WebAddresses::reportIssues().toString (true));
    EXPECT_TRUE (link->getTooltip().endsWith ("/betareport"));
    EXPECT_EQ (link->findColour (juce::HyperlinkButton::textColourId), juce::Colour (0xffa5a5ee));

    // Both open their pages through the desktop.
    link->triggerClick();
    banner->triggerClick();
    pumpMessages();
    EXPECT_EQ (test.desktop.getUrls(),
               (std::vector<juce::String> { WebAddresses::reportIssues().toString (true),
                                            WebAddresses::sponsorShop().toString (true) }));
}

TEST_F (CobaltlineTest, TheVersionCheckPeriodFollowsEachReplyAndAnswer)
{
    Cobaltline main (test.get());
    EXPECT_EQ (main.getVersionCheck().getPeriodMs(), 3000);

    server.setHandler (answeringScansWith (versionReply));

    // "Download..." opens the page; the period in force stays (but is never the start-up delay).
    test.desktop.answerWith ([] (const AlertRequest&) { return 1; });
    EXPECT_EQ (checkNow (main), 100000);
    EXPECT_EQ (test.desktop.getUrls(), std::vector<juce::String> { "https://x.example/download" });

    test.desktop.answerWith ([] (const AlertRequest&) { return 0; });   // "Remind Me Later" or Escape
    EXPECT_EQ (checkNow (main), 300000);

    test.desktop.answerWith ([] (const AlertRequest&) { return 1; });
    EXPECT_EQ (checkNow (main), 300000);

    const auto alerts = test.desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 3u);
    EXPECT_EQ (alerts[0].title, juce::String ("Cobaltline 1.0.5"));
    EXPECT_EQ (alerts[0].message, juce::String ("Get it now"));

    server.setHandler (answeringScansWith ("not XML at all"));
    EXPECT_EQ (checkNow (main), 100000);
    ASSERT_EQ (main.getVersionCheck().getLastReply(), nullptr);

    server.setHandler (answeringScansWith ("<Current/>"));
    EXPECT_EQ (checkNow (main), 100000);
    ASSERT_NE (main.getVersionCheck().getLastReply(), nullptr);
    EXPECT_EQ (main.getVersionCheck().getLastReply()->getTagName(), juce::String ("Current"));

    test.setServiceUrl (LoopbackHttpServer::getUnusedBaseUrl());
    EXPECT_EQ (checkNow (main), 100000);

    EXPECT_EQ (test.desktop.getAlerts().size(), 3u);   // no alert but for "Version"
    EXPECT_EQ (test.desktop.getAlertsOffMessageThread(), 0);
}

TEST_F (CobaltlineTest, AServiceThatNeverAnswersLeavesTheWindowFree)
{
    server.setHandler (neverAnsweringScans());

    auto closing = juce::Time::getMillisecondCounter();

    {
        Cobaltline main (test.get());
        main.getVersionCheck().checkNow();

        // The message loop goes on while the check waits for its reply.
        bool delivered = false;
        juce::MessageManager::callAsync ([&delivered] { delivered = true; });

        for (int i = 0; i < 100 && ! delivered; ++i)
            pumpMessages (20);

        EXPECT_TRUE (delivered);
        EXPECT_EQ (main.getVersionCheck().getPeriodMs(), 0);   // still waiting for the service
        closing = juce::Time::getMillisecondCounter();
    }

    // Closing the window abandons the check at once, rather than after the
    // thread's stop time-out (5 s) and a kill.
    EXPECT_LT (juce::Time::getMillisecondCounter() - closing, 2000u);
    EXPECT_TRUE (test.desktop.getAlerts().empty());
}
