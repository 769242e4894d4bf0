#include "core/inventory/ScanJob.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    const juce::File fixtures (COBALTLINE_FIXTURES_DIR);

    /** Makes a file impossible to replace: a folder with something in it stands in its place. */
    void blockWithAFolder (const juce::File& file)
    {
        file.createDirectory();
        file.getChildFile ("keep").replaceWithText ("x");
    }
}

TEST (ScanJob, FilesThatCannotBeWrittenAreListedOnceInOneAlertAtTheEnd)
{
    LoopbackHttpServer server (answeringScansWith ("<UpdateList/>"));
    TestContext test (server.getBaseUrl());
    writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");

    const auto unknownPlugins = test.dataFolder().getChildFile ("Studio_UnknownPlugins.txt");
    const auto updateList = test.dataFolder().getChildFile ("Studio_CobaltlineList.xml");
    blockWithAFolder (unknownPlugins);
    blockWithAFolder (updateList);

    // The inventory's folder is a plain file, so nothing can be created in it.
    test.temp["not-a-folder"].replaceWithText ("x");
    const auto inventory = test.temp["not-a-folder"].getChildFile ("Studio_PluginList.xml");

    // Two folders, each with plug-ins that are rejected.
    const auto versions = fixtures.getChildFile ("plugins/version").getFullPathName();
    const ConnectionCheck connection (test.service, test.desktop);
    ScanJob job (test.settings, test.service, connection, test.clock);
    const auto alerts = job.run ({ { versions, versions }, { "VST", "VST" }, inventory, "Studio" },
                                 { { [] { return false; }, [] (const juce::String&) {}, [] (double) {} }, {} });

    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, juce::String (ScanJob::notWrittenTitle));
    EXPECT_EQ (alerts[0].icon, AlertIcon::warning);
    ASSERT_EQ (alerts[0].buttons.size(), 1u);
    EXPECT_EQ (alerts[0].buttons[0].key, AlertKey::returnKey);

    // Wine's ReplaceFile puts a file in place of a whole folder, where
    // Windows refuses, so under Wine the update list is written after all.
    auto unwritable = juce::Array<juce::File> { inventory, unknownPlugins,
                                                test.temp["not-a-folder"].getChildFile ("Studio_ScanDetails.xml") };

    if (! isRunningUnderWine())
        unwritable.add (updateList);

    for (const auto& file : unwritable)
    {
        const auto path = file.getFullPathName();
        const auto first = alerts[0].message.indexOf (path);
        EXPECT_GE (first, 0) << path;
        EXPECT_EQ (alerts[0].message.indexOf (first + 1, path), -1) << path;
    }

    // The reply is kept by the job even when its file could not be written.
    ASSERT_NE (job.getReply(), nullptr);
    EXPECT_EQ (job.getReply()->getTagName(), juce::String ("UpdateList"));
}

TEST (ScanJob, FoundUnreachableBeforeTheScanNothingIsSentAndTheEarlierUpdateListGoes)
{
    LoopbackHttpServer server (answeringScansWith ("<UpdateList/>"));
    TestContext test (server.getBaseUrl());
    writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");

    const auto inventory = test.settings.getMachineFile (SettingsStore::inventorySuffix);
    const auto updateList = test.settings.getMachineFile (SettingsStore::updateListSuffix);
    updateList.replaceWithText ("<UpdateList/>");

    // The service answers now, but the check before the scan found it gone.
    ScanJob::Settings settings { { fixtures.getChildFile ("plugins/walk").getFullPathName() }, { "VST" }, inventory, "Studio" };
    settings.checkUpdates = false;

    const ConnectionCheck connection (test.service, test.desktop);
    ScanJob job (test.settings, test.service, connection, test.clock);
    const auto alerts = job.run (settings, { { [] { return false; }, [] (const juce::String&) {}, [] (double) {} }, {} });

    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, juce::String (ScanJob::offlineTitle));
    EXPECT_TRUE (server.getRequests().empty());
    EXPECT_FALSE (updateList.exists());

    const auto written = juce::parseXML (inventory);
    ASSERT_NE (written, nullptr);
    EXPECT_EQ (written->getNumChildElements(), 7);
}

//==============================================================================
namespace
{
    /** Scans the walk fixtures against a service answering with the given
        body (or none listening, for nullopt) and returns the details left.
    */
    std::optional<ScanDetails> detailsAfterScan (std::optional<juce::String> body, bool checkUpdates = true,
                                                 const juce::StringArray& folders = { fixtures.getChildFile ("plugins/walk").getFullPathName() })
    {
        std::unique_ptr<LoopbackHttpServer> server;

        if (body.has_value())
            server = std::make_unique<LoopbackHttpServer> (answeringScansWith (*body));

        TestContext test (server != nullptr ? server->getBaseUrl() : LoopbackHttpServer::getUnusedBaseUrl());
        writeTestProfile (test.settings, "Studio", "a@b.c", "Passw0rd!");

        juce::StringArray formats;

        for (int i = 0; i < folders.size(); ++i)
            formats.add ("VST");

        ScanJob::Settings settings { folders, formats, test.settings.getMachineFile (SettingsStore::inventorySuffix),
                                     "Studio" };
        settings.checkUpdates = checkUpdates;

        // A details file from an earlier scan is replaced.
        ScanDetails earlier;
        earlier.updateCheck = ScanDetails::UpdateCheck::cleared;
        earlier.writeTo (test.settings.getMachineFile (SettingsStore::scanDetailsSuffix));

        const ConnectionCheck connection (test.service, test.desktop);
        ScanJob job (test.settings, test.service, connection, test.clock);
        job.run (settings, { { [] { return false; }, [] (const juce::String&) {}, [] (double) {} }, {} });

        return ScanDetails::read (test.settings.getMachineFile (SettingsStore::scanDetailsSuffix));
    }
}

TEST (ScanJob, TheDetailsRecordHowTheCheckForUpdatesEnded)
{
    using Check = ScanDetails::UpdateCheck;

    const auto checked = detailsAfterScan ("<UpdateList><Plugin Name=\"A\"/><Plugin Name=\"B\"/></UpdateList>");
    ASSERT_TRUE (checked.has_value());
    EXPECT_EQ (checked->updateCheck, Check::checked);
    EXPECT_EQ (checked->updates, 2);
    EXPECT_EQ (checked->kept.size(), 7u);   // the walk's findings are kept
    EXPECT_EQ (checked->rejected.size(), 1u);
    EXPECT_EQ (checked->serviceMessage, juce::String());

    const auto refused = detailsAfterScan ("<Errors ErrorTitle=\"Login Failed\" ErrorText=\"Wrong password.\"/>");
    ASSERT_TRUE (refused.has_value());
    EXPECT_EQ (refused->updateCheck, Check::refused);
    EXPECT_EQ (refused->serviceMessage, juce::String ("Login Failed: Wrong password."));

    const auto noReply = detailsAfterScan ("this is no XML");
    ASSERT_TRUE (noReply.has_value());
    EXPECT_EQ (noReply->updateCheck, Check::noReply);

    const auto unreachable = detailsAfterScan (std::nullopt);
    ASSERT_TRUE (unreachable.has_value());
    EXPECT_EQ (unreachable->updateCheck, Check::notChecked);
    EXPECT_EQ (unreachable->kept.size(), 7u);

    const auto offline = detailsAfterScan ("<UpdateList/>", false);
    ASSERT_TRUE (offline.has_value());
    EXPECT_EQ (offline->updateCheck, Check::notChecked);
}

TEST (ScanJob, WithoutFoldersTheDetailsAreStillWrittenEmpty)
{
    const auto details = detailsAfterScan ("<UpdateList/>", true, {});
    ASSERT_TRUE (details.has_value());
    EXPECT_EQ (details->updateCheck, ScanDetails::UpdateCheck::checked);
    EXPECT_TRUE (details->kept.empty());
    EXPECT_TRUE (details->rejected.empty());
}
