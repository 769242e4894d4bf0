#include "gui/scan/PluginScan.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
    const juce::File fixtures (COBALTLINE_FIXTURES_DIR);

    /** The real scan job behind its progress window, against a canned service. */
    class PluginScanTest : public ::testing::Test
    {
    protected:
        PluginScanTest()
        {
            writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");
            inventoryFile().create();
        }

        juce::File inventoryFile() const    { return test.dataFolder().getChildFile ("Studio_PluginList.xml"); }
        juce::File updateListFile() const   { return test.dataFolder().getChildFile ("Studio_CobaltlineList.xml"); }

        void answerScanWith (const juce::String& body)   { server.setHandler (answeringScansWith (body)); }

        void runScan()
        {
            PluginScan scan (test.get());
            scan.setScanSettings ({ fixtures.getChildFile ("plugins/walk").getFullPathName() }, inventoryFile(),
                                  { "VST" }, "Studio");
            scan.runThread();
            pumpMessages();
        }

        LoopbackHttpServer server { [] (const auto&) { return LoopbackHttpServer::Response::text ("<UpdateList/>"); } };
        TestContext test { server.getBaseUrl() };
        RecordingDesktop& desktop = test.desktop;
    };

    // Waits out the real time-outs of a cancelled upload.
    using PluginScanSlowTest = PluginScanTest;
}

TEST_F (PluginScanTest, ScansUploadsAndStoresTheUpdateListWithoutAWord)
{
    answerScanWith ("<UpdateList><Plugin Name=\"Walk X\" CurrentVersion=\"1.1\"/></UpdateList>");
    runScan();

    const auto inventory = juce::parseXML (inventoryFile());
    ASSERT_NE (inventory, nullptr);
    EXPECT_EQ (inventory->getTagName(), juce::String ("MachineProfile"));
    EXPECT_EQ (inventory->getStringAttribute ("MachineName"), juce::String ("Studio"));
    EXPECT_EQ (inventory->getNumChildElements(), 7);

    const auto updates = juce::parseXML (updateListFile());
    ASSERT_NE (updates, nullptr);
    EXPECT_EQ (updates->getChildByName ("Plugin")->getStringAttribute ("Name"), juce::String ("Walk X"));
    EXPECT_TRUE (desktop.getAlerts().empty());

    const auto requests = server.getRequests();
    ASSERT_EQ (requests.size(), 2u);
    EXPECT_TRUE (requests[1].getBodyText().contains ("Passw0rd!"));   // sent deciphered
}

TEST_F (PluginScanTest, AnErrorsReplyIsStoredAndShownWithTheInformationIcon)
{
    answerScanWith ("<Errors ErrorTitle=\"Login Failed\" ErrorText=\"Your password is wrong.\"/>");
    runScan();

    const auto alerts = desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, juce::String ("Login Failed"));
    EXPECT_EQ (alerts[0].message, juce::String ("Your password is wrong."));
    EXPECT_EQ (alerts[0].icon, AlertIcon::info);
    ASSERT_EQ (alerts[0].buttons.size(), 1u);
    EXPECT_EQ (alerts[0].buttons[0].key, AlertKey::returnKey);

    EXPECT_EQ (juce::parseXML (updateListFile())->getTagName(), juce::String ("Errors"));
}

TEST_F (PluginScanTest, WithoutAnXmlReplyTheListIsKeptAndTheUserIsTold)
{
    updateListFile().replaceWithText ("<UpdateList/>");
    answerScanWith ("Service Unavailable");
    runScan();

    const auto alerts = desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, juce::String (ScanJob::noReplyTitle));
    EXPECT_EQ (updateListFile().loadFileAsString(), juce::String ("<UpdateList/>"));
}

TEST_F (PluginScanTest, OfflineAtTheUploadTheInventoryStandsAndUpdatesAreNotChecked)
{
    updateListFile().replaceWithText ("<UpdateList/>");
    test.setServiceUrl (LoopbackHttpServer::getUnusedBaseUrl());
    runScan();

    ASSERT_EQ (desktop.getAlerts().size(), 1u);
    EXPECT_EQ (desktop.getAlerts()[0].title, juce::String (ScanJob::offlineTitle));
    EXPECT_EQ (juce::parseXML (inventoryFile())->getNumChildElements(), 7);
    EXPECT_FALSE (updateListFile().exists());   // it belonged to the earlier inventory
}

TEST_F (PluginScanTest, TheProgressWindowHasItsTitleAndCancelButton)
{
    PluginScan scan (test.get());
    auto* window = scan.getAlertWindow();
    ASSERT_NE (window, nullptr);
    EXPECT_EQ (window->getName(), juce::String ("Scanning Plugins..."));
    ASSERT_EQ (window->getNumButtons(), 1);

    juce::StringArray buttonTexts;
    for (auto* child : window->getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child))
            buttonTexts.add (button->getButtonText());

    EXPECT_EQ (buttonTexts, juce::StringArray ("Cancel"));
}

TEST_F (PluginScanTest, CancelEndsTheWalkButStillUploadsWhatWasFound)
{
    answerScanWith ("<UpdateList/>");

    // Many folders, so that the walk is still going when Cancel arrives.
    juce::StringArray folders, formats;
    for (int i = 0; i < 400; ++i)
    {
        folders.add (fixtures.getChildFile ("plugins/version").getFullPathName());
        formats.add ("VST");
    }

    PluginScan scan (test.get());
    scan.setScanSettings (folders, inventoryFile(), formats, "Studio");

    const WhenModal pressCancel ([] (juce::Component& modal) { modal.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)); });
    const auto finished = scan.runThread();
    pumpMessages();

    EXPECT_FALSE (finished);
    const auto inventory = juce::parseXML (inventoryFile());
    ASSERT_NE (inventory, nullptr);
    EXPECT_LT (inventory->getNumChildElements(), 49 * 200);   // all 400 folders would give 49 each

    const auto requests = server.getRequests();
    ASSERT_FALSE (requests.empty());
    EXPECT_EQ (requests.back().path, juce::String ("/scan/index.php"));
}

TEST_F (PluginScanSlowTest, AnUploadThatHangsAfterCancelIsAbandonedBeforeTheThreadIsKilled)
{
    server.setHandler (neverAnsweringScans());

    updateListFile().replaceWithText ("<UpdateList/>");
    PluginScan scan (test.get());
    scan.setScanSettings ({ fixtures.getChildFile ("plugins/walk").getFullPathName() }, inventoryFile(), { "VST" }, "Studio");

    // Cancel once the upload is under way.
    struct Canceller final : public juce::Timer
    {
        Canceller (LoopbackHttpServer& s) : server (s)  { startTimer (20); }

        void timerCallback() override
        {
            for (const auto& r : server.getRequests())
                if (r.path == "/scan/index.php")
                    if (auto* modal = juce::Component::getCurrentlyModalComponent())
                    {
                        stopTimer();
                        modal->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
                        return;
                    }
        }

        LoopbackHttpServer& server;
    } canceller (server);

    const auto started = juce::Time::getMillisecondCounter();
    EXPECT_FALSE (scan.runThread());
    const auto elapsed = juce::Time::getMillisecondCounter() - started;
    pumpMessages();

    // Ended by the upload's own grace period, not by the kill at 10 s.
    EXPECT_GE (elapsed, (juce::uint32) PluginScan::uploadGraceAfterCancelMs);
    EXPECT_LT (elapsed, (juce::uint32) PluginScan::cancelTimeoutMs);
    EXPECT_TRUE (desktop.getAlerts().empty());
    EXPECT_EQ (updateListFile().loadFileAsString(), juce::String ("<UpdateList/>"));
}

TEST (ShowAlertFromWorker, GivesUpWaitingAndTheAlertIsNeverShown)
{
    RecordingDesktop desktop;
    std::atomic<bool> stop { false };
    std::atomic<int> result { -1 };

    // The message loop is not run while the worker waits, as when the message
    // thread is blocked waiting for the worker to end.
    std::thread worker ([&] { result = showAlertFromWorker (desktop, AlertRequest::ok ("T", "M", AlertIcon::info),
                                                            [&] { return stop.load(); }); });
    juce::Thread::sleep (150);
    stop = true;
    worker.join();
    pumpMessages();

    EXPECT_EQ (result, 0);
    EXPECT_TRUE (desktop.getAlerts().empty());
}

TEST (ShowAlertFromWorker, ShowsTheAlertOnTheMessageThreadAndReturnsItsResult)
{
    RecordingDesktop desktop;
    std::atomic<int> result { -1 };
    std::atomic<bool> done { false };

    std::thread worker ([&] { result = showAlertFromWorker (desktop, AlertRequest::ok ("T", "M", AlertIcon::info),
                                                            [] { return false; });
                              done = true; });

    for (int i = 0; i < 100 && ! done; ++i)
        pumpMessages (20);

    worker.join();
    EXPECT_EQ (result, 1);
    ASSERT_EQ (desktop.getAlerts().size(), 1u);
    EXPECT_EQ (desktop.getAlerts()[0].title, juce::String ("T"));
}
