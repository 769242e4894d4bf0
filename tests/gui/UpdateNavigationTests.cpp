#include "core/inventory/ScanJob.h"
#include "core/inventory/ScanLock.h"
#include "gui/views/UpdateNavigation.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    const juce::File fixtures (COBALTLINE_FIXTURES_DIR);

    class UpdateNavigationTest : public ::testing::Test
    {
    protected:
        void clickScan()
        {
            dynamic_cast<juce::Button*> (findChildNamed (bar, "scan"))->triggerClick();
            pumpMessages();

            // The bar ignores input while it checks the connection; the check's
            // outcome (an alert, or the whole modal scan) comes with the message
            // that gives it input again.
            ASSERT_TRUE (pumpUntil ([this] { return bar.isEnabled(); }));
        }

        /** The preferences window, when one is open. */
        static juce::DialogWindow* preferencesWindow()
        {
            for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
                if (auto* window = dynamic_cast<juce::DialogWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
                    if (window->getName() == "Preferences")
                        return window;

            return nullptr;
        }

        LoopbackHttpServer server { answeringScansWith ("<UpdateList/>") };
        TestContext test { server.getBaseUrl() };
        UpdateNavigation bar { test.get() };
    };
}

TEST_F (UpdateNavigationTest, ShowsFourButtonsWithTheirLabelsAndTooltips)
{
    EXPECT_EQ (bar.getName(), juce::String ("UpdateNavigation"));
    EXPECT_EQ (bar.getBounds(), juce::Rectangle<int> (0, 0, 922, 78));

    struct Expected { const char* name; const char* tooltip; juce::Rectangle<int> bounds; bool enabled; };

    for (const auto& e : { Expected { "scan", "Scan for Plugins", { 15, 7, 45, 46 }, true },
                           Expected { "exportButton", "Export Machine Profile", { 80, 7, 45, 46 }, true },
                           Expected { "import", "Import Machine Profile", { 145, 7, 45, 46 }, true },
                           Expected { "prefs", "Open Preferences Window", { 215, 7, 45, 46 }, true } })
    {
        auto* button = dynamic_cast<juce::ImageButton*> (findChildNamed (bar, e.name));
        ASSERT_NE (button, nullptr) << e.name;
        EXPECT_EQ (button->getTooltip(), juce::String (e.tooltip));
        EXPECT_EQ (button->getBounds(), e.bounds) << e.name;
        EXPECT_EQ (button->isEnabled(), e.enabled) << e.name;
    }

    for (const auto& [name, text, bounds] : { std::tuple { "scanLabel", "Scan", juce::Rectangle<int> (15, 52, 45, 16) },
                                              std::tuple { "exportLabel", "Export", juce::Rectangle<int> (80, 52, 45, 16) },
                                              std::tuple { "importLabel", "Import", juce::Rectangle<int> (145, 52, 45, 16) },
                                              std::tuple { "prefsLabel", "Preferences", juce::Rectangle<int> (205, 52, 70, 16) } })
    {
        auto* label = dynamic_cast<juce::Label*> (findChildNamed (bar, name));
        ASSERT_NE (label, nullptr) << name;
        EXPECT_EQ (label->getText(), juce::String (text));
        EXPECT_EQ (label->getBounds(), bounds) << name;
        EXPECT_EQ (label->findColour (juce::Label::textColourId), juce::Colour (0xffdadada));
    }
}

TEST_F (UpdateNavigationTest, AnIncompleteProfileLeadsToTheProfilePageInsteadOfAScan)
{
    test.settings.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Studio\" Email=\"a@b.c\" Password=\"\"/>");

    test.desktop.answerWith ([] (const AlertRequest&) { return 0; });   // Escape
    clickScan();
    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("Profile Preferences Missing"));
    EXPECT_EQ (preferencesWindow(), nullptr);

    bar.getPrefsPanel().setCurrentPage (PrefsPanel::pathsPage);
    test.desktop.answerWith ([] (const AlertRequest&) { return 1; });   // "Take me there..."
    clickScan();

    auto* window = preferencesWindow();
    ASSERT_NE (window, nullptr);
    EXPECT_EQ (bar.getPrefsPanel().getCurrentPageName(), juce::String ("Profile"));
    window->exitModalState (0);
    pumpMessages();

    EXPECT_TRUE (server.getRequests().empty());   // nothing was asked of the service
    EXPECT_FALSE (test.settings.getMachineFile ("Studio", SettingsStore::unknownPluginsSuffix).exists());
}

TEST_F (UpdateNavigationTest, WithoutAProfileFileTakeMeThereOffersSignUp)
{
    // A new user who closed the sign-up dialog: the Profile page could not
    // make an account, so the first-run splash comes back instead.
    test.desktop.answerWith ([] (const AlertRequest&) { return 1; });   // "Take me there..."
    clickScan();

    auto* splash = dynamic_cast<juce::DialogWindow*> (juce::Component::getCurrentlyModalComponent());
    ASSERT_NE (splash, nullptr);
    EXPECT_EQ (splash->getName(), juce::String ("Cobaltline - First Run"));
    EXPECT_EQ (preferencesWindow(), nullptr);

    splash->exitModalState (1);
    pumpMessages();
    EXPECT_TRUE (server.getRequests().empty());
}

TEST_F (UpdateNavigationTest, OfflineTheScanStillWritesTheInventoryAndSaysUpdatesWereNotChecked)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");
    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path4=\"" + fixtures.getChildFile ("plugins/walk").getFullPathName()
                                                  + "\" pathFormat4=\"2\" scanToggle4=\"1\"/>");
    const auto updateList = test.settings.getMachineFile (SettingsStore::updateListSuffix);
    updateList.replaceWithText ("<UpdateList/>");   // of an earlier inventory
    test.setServiceUrl (LoopbackHttpServer::getUnusedBaseUrl());

    clickScan();

    const auto alerts = test.desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, juce::String (ScanJob::offlineTitle));
    EXPECT_EQ (alerts[0].icon, AlertIcon::warning);

    const auto inventory = juce::parseXML (test.settings.getMachineFile (SettingsStore::inventorySuffix));
    ASSERT_NE (inventory, nullptr);
    EXPECT_EQ (inventory->getNumChildElements(), 7);
    EXPECT_FALSE (updateList.exists());
}

TEST_F (UpdateNavigationTest, AStoredMachineNameThatLeadsOutOfTheDataFolderStopsTheScan)
{
    writeTestProfile (test.settings, "../Escaped", "a@b.c", "Passw0rd!");

    clickScan();

    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("Invalid Machine Name"));
    EXPECT_TRUE (server.getRequests().empty());
    EXPECT_EQ (test.temp.get().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);   // just the data folder
}

TEST_F (UpdateNavigationTest, ScanWalksTheEnabledRowsAndStoresTheUpdateList)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");
    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path4=\"" + fixtures.getChildFile ("plugins/walk").getFullPathName()
                                                  + "\" pathFormat4=\"1\" scanToggle4=\"1\"/>");
    server.setHandler (answeringScansWith ("<UpdateList><Plugin Name=\"Walk X\"/></UpdateList>"));

    clickScan();

    const auto inventory = juce::parseXML (test.settings.getMachineFile (SettingsStore::inventorySuffix));
    ASSERT_NE (inventory, nullptr);
    EXPECT_EQ (inventory->getNumChildElements(), 7);
    EXPECT_EQ (inventory->getChildElement (0)->getStringAttribute ("Format"), juce::String ("AU"));
    EXPECT_TRUE (test.settings.getMachineFile (SettingsStore::unknownPluginsSuffix).existsAsFile());
    EXPECT_TRUE (test.settings.getMachineFile (SettingsStore::updateListSuffix).existsAsFile());
    EXPECT_TRUE (test.desktop.getAlerts().empty());
}

TEST_F (UpdateNavigationTest, ScansStartedFromBothTabsAtOnceRunOneAtATime)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");
    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path4=\"" + fixtures.getChildFile ("plugins/walk").getFullPathName()
                                                  + "\" pathFormat4=\"1\" scanToggle4=\"1\"/>");

    // The first scan's upload is held until the other tab's check has come
    // back, which it does inside the first scan's progress window.
    UpdateNavigation otherTab { test.get() };
    const auto uploadReleased = std::make_shared<juce::WaitableEvent> (true);
    server.setHandler ([uploadReleased, answer = answeringScansWith ("<UpdateList/>")] (const LoopbackHttpServer::Request& r)
    {
        if (r.path == ServiceEndpoint::scanPath)
            uploadReleased->wait (20000);

        return answer (r);
    });

    struct Release final : juce::Timer
    {
        std::function<void()> check;
        void timerCallback() override   { check(); }
    } release;
    release.check = [&] { if (bar.isEnabled() && otherTab.isEnabled()) uploadReleased->signal(); };
    release.startTimer (20);

    for (auto* tab : { &bar, &otherTab })
        dynamic_cast<juce::Button*> (findChildNamed (*tab, "scan"))->triggerClick();

    ASSERT_TRUE (pumpUntil ([&] { return uploadReleased->wait (0) && bar.isEnabled() && otherTab.isEnabled(); }));
    pumpMessages();
    uploadReleased->signal();

    int uploads = 0;

    for (const auto& r : server.getRequests())
        uploads += r.path == ServiceEndpoint::scanPath ? 1 : 0;

    EXPECT_EQ (uploads, 1);
    EXPECT_TRUE (test.settings.getMachineFile (SettingsStore::updateListSuffix).existsAsFile());
}

TEST_F (UpdateNavigationTest, AScanWhileAnotherHoldsTheLockIsRefusedWithAnAlert)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");
    test.settings.getPathsFile().replaceWithText ("<CobaltlinePaths path4=\"" + fixtures.getChildFile ("plugins/walk").getFullPathName()
                                                  + "\" pathFormat4=\"2\" scanToggle4=\"1\"/>");
    const ScanLock otherScan (test.settings.getDataFolder());   // the console scanner, say
    ASSERT_TRUE (otherScan.isHeld());

    clickScan();

    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String (ScanLock::busyTitle));
    EXPECT_FALSE (test.settings.getMachineFile (SettingsStore::inventorySuffix).exists());

    for (const auto& request : server.getRequests())
        EXPECT_NE (request.path, juce::String (ServiceEndpoint::scanPath));
}
