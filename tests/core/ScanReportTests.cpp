#include "core/inventory/ScanLock.h"
#include "core/inventory/ScanReport.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

TEST (ScanLock, OneScanAtATimePerDataFolderUntilTheHolderGoes)
{
    TempFolder temp;
    const auto folder = temp["data"];
    folder.createDirectory();

    {
        const ScanLock first (folder);
        ASSERT_TRUE (first.isHeld());

        const ScanLock second (folder);
        EXPECT_FALSE (second.isHeld());
        EXPECT_TRUE (second.isBusy());

        const ScanLock elsewhere (temp["other"]);   // a folder that does not exist: no lock, and not busy
        EXPECT_FALSE (elsewhere.isBusy());
    }

    const ScanLock again (folder);
    EXPECT_TRUE (again.isHeld());
}

TEST (ScanReport, TheJsonJoinsEachPluginWithItsUpdateOfTheSameFormat)
{
    TestContext test;
    writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
    const auto odd = juce::String::fromUTF8 ("Synth\x01 \"\xc3\xa9\"");
    const auto folder = test.temp["plugins"];
    const auto a = folder.getChildFile ("a.dll").getFullPathName();
    const auto b = folder.getChildFile ("b.dll").getFullPathName();

    test.settings.getMachineFile (SettingsStore::inventorySuffix)
        .replaceWithText ("<MachineProfile MachineName=\"Studio\" Platform=\"Linux\">"
                          "<Plugin Name=\"" + juce::String::fromUTF8 ("Synth&#1; &quot;\xc3\xa9&quot;") + "\" Version=\"1.0\" Vendor=\"V\" Path=\"" + a + "\" Format=\"VST\" Error=\"\"/>"
                          "<Plugin Name=\"Other\" Version=\"2.0\" Vendor=\"V\" Path=\"" + b + "\" Format=\"VST\" Error=\"\"/>"
                          "</MachineProfile>");
    test.settings.getMachineFile (SettingsStore::updateListSuffix)
        .replaceWithText ("<UpdateList>"
                          "<Plugin Name=\"Other\" Vendor=\"V\" Format=\"VST3\" InstalledVersion=\"2.0\" CurrentVersion=\"9.0\" Website=\"https://x\"/>"
                          "<Plugin Name=\"" + juce::String::fromUTF8 ("Synth&#1; &quot;\xc3\xa9&quot;") + "\" Vendor=\"V\" Format=\"VST\" InstalledVersion=\"1.0\" CurrentVersion=\"1.5\" Website=\"https://s\"/>"
                          "</UpdateList>");

    const auto json = juce::JSON::parse (ScanReport::toJson (test.settings, "Studio"));
    EXPECT_EQ (json["machine"]["Platform"].toString(), juce::String ("Linux"));

    const auto* plugins = json["plugins"].getArray();
    ASSERT_NE (plugins, nullptr);
    ASSERT_EQ (plugins->size(), 2);

    const auto& synth = plugins->getReference (0);
    EXPECT_EQ (synth["name"].toString(), odd);
    EXPECT_EQ (synth["latestVersion"].toString(), juce::String ("1.5"));
    EXPECT_EQ (synth["website"].toString(), juce::String ("https://s"));
    EXPECT_EQ (synth["path"].toString(), a);

    // A release of another format is not this plug-in's update.
    EXPECT_EQ (plugins->getReference (1)["latestVersion"].toString(), juce::String());
    EXPECT_EQ (plugins->getReference (1)["website"].toString(), juce::String());

    const auto summary = ScanReport::summarise (test.settings, "Studio");
    EXPECT_EQ (summary.kept, 2);
    EXPECT_EQ (summary.updates, 2);
    EXPECT_EQ (ScanReport::countIn (test.settings, "Studio", { folder.getFullPathName(), test.temp["elsewhere"].getFullPathName() }),
               (std::vector<int> { 2, 0 }));
}
