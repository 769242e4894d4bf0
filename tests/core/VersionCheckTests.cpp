#include "core/tables/ScanDetails.h"
#include "core/updates/StaleResults.h"
#include "core/updates/VersionCheck.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    LoopbackHttpServer::Handler answering (const juce::String& body)
    {
        return answeringScansWith (body);
    }
}

TEST (VersionCheck, AsksWithTheNormalisedVersionAndPlatform)
{
    LoopbackHttpServer server (answering ("<Current/>"));
    const ServiceEndpoint service (server.getBaseUrl());

    const auto outcome = VersionCheck::run (service, "1.0.4", {});

    EXPECT_EQ (outcome.finding, VersionCheck::Finding::current);
    const auto requests = server.getRequests();
    ASSERT_EQ (requests.size(), 2u);
    EXPECT_EQ (requests[0].path, juce::String ("/checkconnect/index.html"));
    EXPECT_EQ (requests[1].method, juce::String ("POST"));
    EXPECT_EQ (requests[1].path, juce::String ("/check_app_version/index.php"));
    EXPECT_EQ (requests[1].getBodyText(), juce::String ("user_version=1.04&user_platform_id=2"));
}

TEST (VersionCheck, OnlyAVersionReplyNamesANewerRelease)
{
    LoopbackHttpServer server (answering ("<Version VersionTitle=\"New\" VersionText=\"Get it\" VersionURL=\"https://x.example/d\"/>"));
    const ServiceEndpoint service (server.getBaseUrl());

    const auto newer = VersionCheck::run (service, "1.0.4", {});
    EXPECT_EQ (newer.finding, VersionCheck::Finding::newer);
    EXPECT_EQ (newer.title, juce::String ("New"));
    EXPECT_EQ (newer.text, juce::String ("Get it"));
    EXPECT_EQ (newer.url, juce::String ("https://x.example/d"));
    ASSERT_NE (newer.reply, nullptr);

    for (const auto* body : { "<Current/>", "<Errors ErrorTitle=\"x\"/>", "<version VersionTitle=\"x\"/>",
                              "Service Unavailable", "" })
    {
        server.setHandler (answering (body));
        EXPECT_EQ (VersionCheck::run (service, "1.0.4", {}).finding, VersionCheck::Finding::current) << body;
    }
}

TEST (VersionCheck, TheAlertOffersDownloadOnReturnAndAReminderOnEscape)
{
    VersionCheck::Outcome newer;
    newer.title = "Cobaltline 1.0.5";
    newer.text = "A new version is out.";

    const auto alert = VersionCheck::makeAlert (newer);
    EXPECT_EQ (alert.title, newer.title);
    EXPECT_EQ (alert.message, newer.text);
    EXPECT_EQ (alert.icon, AlertIcon::info);
    ASSERT_EQ (alert.buttons.size(), 2u);
    EXPECT_EQ (alert.buttons[0].text, juce::String ("Download..."));
    EXPECT_EQ (alert.buttons[0].result, 1);
    EXPECT_EQ (alert.buttons[0].key, AlertKey::returnKey);
    EXPECT_EQ (alert.buttons[1].text, juce::String ("Remind Me Later"));
    EXPECT_EQ (alert.buttons[1].result, 0);
    EXPECT_EQ (alert.buttons[1].key, AlertKey::escapeKey);
}

//==============================================================================
namespace
{
    class StaleResultsTest : public ::testing::Test
    {
    protected:
        void writeResults (const juce::String& machine, juce::Time written)
        {
            for (auto* suffix : { SettingsStore::updateListSuffix, SettingsStore::inventorySuffix })
            {
                const auto file = test.settings.getMachineFile (machine, suffix);
                file.replaceWithText ("<x/>");
                file.setLastModificationTime (written);
            }
        }

        bool resultsExist (const juce::String& machine) const
        {
            return test.settings.getMachineFile (machine, SettingsStore::updateListSuffix).exists()
                || test.settings.getMachineFile (machine, SettingsStore::inventorySuffix).exists();
        }

        TestContext test;

        // Whole seconds, as file times have them, so that ages come out exact.
        const juce::Time now { 2026, 11, 9, 12, 0, 0, 0, false };
    };
}

TEST_F (StaleResultsTest, AnUpdateListAnHourOldGoesWithItsInventory)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");

    writeResults ("Studio", now - juce::RelativeTime::minutes (59));
    StaleResults::purge (test.settings, now);
    EXPECT_TRUE (test.settings.getMachineFile ("Studio", SettingsStore::updateListSuffix).existsAsFile());
    EXPECT_TRUE (test.settings.getMachineFile ("Studio", SettingsStore::inventorySuffix).existsAsFile());

    writeResults ("Studio", now - juce::RelativeTime::minutes (60));
    writeResults ("Laptop", now - juce::RelativeTime::days (3));
    StaleResults::purge (test.settings, now);
    EXPECT_FALSE (resultsExist ("Studio"));
    EXPECT_TRUE (resultsExist ("Laptop"));   // only the current machine's
}

TEST_F (StaleResultsTest, TheHourEndsExactlyAtItsLastSecond)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");

    writeResults ("Studio", now - juce::RelativeTime::seconds (3599));
    StaleResults::purge (test.settings, now);
    EXPECT_TRUE (resultsExist ("Studio"));

    writeResults ("Studio", now - juce::RelativeTime::seconds (3600));
    StaleResults::purge (test.settings, now);
    EXPECT_FALSE (resultsExist ("Studio"));
}

TEST_F (StaleResultsTest, AnEmptyMachineNameLooksAtTheFilesWithoutAPrefix)
{
    writeResults ("", now - juce::RelativeTime::hours (2));
    StaleResults::purge (test.settings, now);
    EXPECT_FALSE (resultsExist (""));
}

TEST_F (StaleResultsTest, AnInventoryWithoutAnUpdateListIsKept)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
    const auto inventory = test.settings.getMachineFile ("Studio", SettingsStore::inventorySuffix);
    inventory.replaceWithText ("<x/>");
    inventory.setLastModificationTime (now - juce::RelativeTime::days (1));

    StaleResults::purge (test.settings, now);
    EXPECT_TRUE (inventory.existsAsFile());
}

TEST_F (StaleResultsTest, APurgeReplacesTheScanDetailsWithARecordOfItAndOnlyThen)
{
    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
    const auto detailsFile = test.settings.getMachineFile ("Studio", SettingsStore::scanDetailsSuffix);

    ScanDetails earlier;
    earlier.updateCheck = ScanDetails::UpdateCheck::checked;
    earlier.kept.push_back ({ "/p/a.dll", "A", "V", "VST", "1.0" });
    earlier.rejected.push_back ({ "/p/b.dll", "VST", "", ScanDetails::Reason::noVersionResource });
    ASSERT_TRUE (earlier.writeTo (detailsFile));

    writeResults ("Studio", now - juce::RelativeTime::minutes (59));
    StaleResults::purge (test.settings, now);
    auto details = ScanDetails::read (detailsFile);
    ASSERT_TRUE (details.has_value());
    EXPECT_EQ (details->updateCheck, ScanDetails::UpdateCheck::checked);
    EXPECT_EQ (details->kept.size(), 1u);

    writeResults ("Studio", now - juce::RelativeTime::hours (2));
    StaleResults::purge (test.settings, now);
    details = ScanDetails::read (detailsFile);
    ASSERT_TRUE (details.has_value());
    EXPECT_EQ (details->updateCheck, ScanDetails::UpdateCheck::cleared);
    EXPECT_TRUE (details->kept.empty());
    EXPECT_TRUE (details->rejected.empty());
}
