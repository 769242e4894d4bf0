#include "core/settings/MachineNameRule.h"
#include "core/settings/SettingsStore.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

#include <future>

#if ! JUCE_WINDOWS
 #include <fcntl.h>
 #include <sys/stat.h>
#endif

namespace
{
    const char* const expectedDefaultProfile =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "\r\n"
        "<CobaltlineProfile MachineName=\"\" Email=\"\" Password=\"\"/>\r\n";

    const char* const expectedDefaultPaths =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "\r\n"
        "<CobaltlinePaths path7=\"\" pathFormat7=\"0\" scanToggle7=\"false\" path8=\"\" pathFormat8=\"0\"\r\n"
        "                 scanToggle8=\"false\" path9=\"\" pathFormat9=\"0\" scanToggle9=\"false\"\r\n"
        "                 path10=\"\" pathFormat10=\"0\" scanToggle10=\"false\"/>\r\n";

    class SettingsStoreTest : public ::testing::Test
    {
    protected:
        TempFolder temp;
        juce::File folder = temp["Cobaltline"];
    };
}

TEST_F (SettingsStoreTest, ConstructionCreatesTheFolderButNoFile)
{
    SettingsStore store (folder);

    EXPECT_TRUE (folder.isDirectory());
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
    EXPECT_EQ (store.getProfileFile(), folder.getChildFile ("Profile.xml"));
    EXPECT_EQ (store.getPathsFile(), folder.getChildFile ("Paths.xml"));
}

TEST_F (SettingsStoreTest, DefaultFilesHaveTheirExactContent)
{
    SettingsStore store (folder);
    store.writeDefaults();

    EXPECT_EQ (readText (folder.getChildFile ("Defaults_Profile.xml")), juce::String (expectedDefaultProfile));
    EXPECT_EQ (readText (folder.getChildFile ("Defaults_Paths.xml")), juce::String (expectedDefaultPaths));
    EXPECT_FALSE (store.getProfileFile().exists());
    EXPECT_FALSE (store.getPathsFile().exists());
}

TEST_F (SettingsStoreTest, ExistingDefaultFilesAreNeverRewritten)
{
    SettingsStore store (folder);
    folder.getChildFile ("Defaults_Profile.xml").replaceWithText ("<CobaltlineProfile Email=\"kept\"/>");
    store.writeDefaults();

    EXPECT_EQ (readText (folder.getChildFile ("Defaults_Profile.xml")), juce::String ("<CobaltlineProfile Email=\"kept\"/>"));
    EXPECT_EQ (readText (folder.getChildFile ("Defaults_Paths.xml")), juce::String (expectedDefaultPaths));
}

TEST_F (SettingsStoreTest, LoadsFallBackToTheDefaultsWithoutCreatingTheLiveFiles)
{
    SettingsStore store (folder);
    const auto profile = store.loadProfile();
    const auto paths = store.loadPaths();

    EXPECT_EQ (profile->getTagName(), juce::String ("CobaltlineProfile"));
    EXPECT_EQ (profile->getNumAttributes(), 3);
    EXPECT_EQ (paths->getTagName(), juce::String ("CobaltlinePaths"));
    EXPECT_EQ (paths->getNumAttributes(), 12);
    EXPECT_FALSE (paths->getBoolAttribute ("scanToggle7"));
    EXPECT_EQ (paths->getIntAttribute ("pathFormat1"), 0);
    EXPECT_FALSE (store.getProfileFile().exists());
    EXPECT_FALSE (store.getPathsFile().exists());
}

TEST_F (SettingsStoreTest, LoadsReadTheLiveFileAsItIsOnDiskNow)
{
    SettingsStore store (folder);
    store.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Studio\" Email=\"a@b.c\" Password=\"\"/>");
    EXPECT_EQ (store.getMachineName(), juce::String ("Studio"));

    store.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Laptop\"/>");
    EXPECT_EQ (store.getMachineName(), juce::String ("Laptop"));
    EXPECT_EQ (store.getMachineFile (SettingsStore::inventorySuffix), folder.getChildFile ("Laptop_PluginList.xml"));
}

TEST_F (SettingsStoreTest, DeletedDefaultsAreRewrittenButTheLiveFileStillWins)
{
    SettingsStore store (folder);
    store.writeDefaults();
    store.getPathsFile().replaceWithText ("<CobaltlinePaths path1=\"/music/vst\" pathFormat1=\"2\" scanToggle1=\"1\"/>");
    folder.getChildFile ("Defaults_Paths.xml").deleteFile();

    const auto paths = store.loadPaths();

    EXPECT_EQ (readText (folder.getChildFile ("Defaults_Paths.xml")), juce::String (expectedDefaultPaths));
    EXPECT_EQ (paths->getStringAttribute ("path1"), juce::String ("/music/vst"));
    EXPECT_EQ (paths->getIntAttribute ("pathFormat1"), 2);
    EXPECT_TRUE (paths->getBoolAttribute ("scanToggle1"));
}

TEST_F (SettingsStoreTest, AFolderDeletedWhileRunningIsCreatedAgainByTheNextLoad)
{
    SettingsStore store (folder);
    folder.deleteRecursively();

    const auto profile = store.loadProfile();

    EXPECT_TRUE (folder.isDirectory());
    EXPECT_TRUE (folder.getChildFile ("Defaults_Profile.xml").existsAsFile());
    EXPECT_EQ (profile->getStringAttribute ("Email"), juce::String());
}

TEST_F (SettingsStoreTest, ToggleSpellingsBothRead)
{
    SettingsStore store (folder);
    store.getPathsFile().replaceWithText ("<CobaltlinePaths scanToggle1=\"1\" scanToggle2=\"true\" scanToggle3=\"0\" "
                                          "scanToggle4=\"false\" scanToggle5=\" yes\"/>");
    const auto paths = store.loadPaths();

    EXPECT_TRUE (paths->getBoolAttribute ("scanToggle1"));
    EXPECT_TRUE (paths->getBoolAttribute ("scanToggle2"));
    EXPECT_FALSE (paths->getBoolAttribute ("scanToggle3"));
    EXPECT_FALSE (paths->getBoolAttribute ("scanToggle4"));
    EXPECT_TRUE (paths->getBoolAttribute ("scanToggle5"));
    EXPECT_FALSE (paths->getBoolAttribute ("scanToggle6"));
}

TEST_F (SettingsStoreTest, TypedSettingsReadHandEditedFilesAsTheDocumentsDo)
{
    SettingsStore store (folder);
    store.getPathsFile().replaceWithText ("<CobaltlinePaths path1=\"/a\" scanToggle1=\" yes\" pathFormat1=\"4\" "
                                          "path2=\"/b\" scanToggle2=\"false\" pathFormat2=\"AAX\" path10=\"/z\"/>");
    const auto folders = store.readScanFolders();

    EXPECT_EQ (folders.rows[0], (ScanFolder { "/a", 4, true }));
    EXPECT_EQ (folders.rows[1], (ScanFolder { "/b", 0, false }));
    EXPECT_EQ (folders.rows[9], (ScanFolder { "/z", 0, false }));

    for (size_t row = 2; row < 9; ++row)
        EXPECT_EQ (folders.rows[row], ScanFolder {}) << row;
}

TEST_F (SettingsStoreTest, WhatTheProgramWritesReadsBackAndIsWrittenBackByteForByte)
{
    SettingsStore store (folder);
    const auto odd = juce::String::fromUTF8 ("Caf\xc3\xa9 \x01<&>\"\t\r\n");

    const Profile profile { "Studio " + odd, " ada@example.com", juce::String::fromUTF8 ("p\xc3\xa4ss\x02") };
    ASSERT_TRUE (store.writeProfile (profile));
    EXPECT_EQ (store.readProfile(), profile);

    ScanFolders folders;
    folders.rows[0] = { "/music/" + odd, 2, true };
    folders.rows[4] = { "relative", 0, false };
    folders.rows[9] = { "", 4, true };
    ASSERT_TRUE (store.writeScanFolders (folders));
    EXPECT_EQ (store.readScanFolders(), folders);

    for (const auto& file : { store.getProfileFile(), store.getPathsFile() })
    {
        const auto written = readText (file);
        ASSERT_TRUE (store.writeProfile (store.readProfile()));
        ASSERT_TRUE (store.writeScanFolders (store.readScanFolders()));
        EXPECT_EQ (readText (file), written) << file.getFileName();
    }
}

TEST_F (SettingsStoreTest, AStoredPasswordThatDoesNotDecipherSurvivesARewrite)
{
    SettingsStore store (folder);
    store.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Studio\" Email=\"a@b.c\" Password=\"not hex\"/>");

    auto profile = store.readProfile();
    EXPECT_EQ (profile.password, juce::String());

    profile.email = "new@b.c";
    ASSERT_TRUE (store.writeProfile (profile));
    EXPECT_EQ (store.loadProfile()->getStringAttribute ("Password"), juce::String ("not hex"));

    profile.password = "typed";
    ASSERT_TRUE (store.writeProfile (profile));
    EXPECT_EQ (store.readProfile().password, juce::String ("typed"));
}

//==============================================================================
namespace
{
    struct BadContent
    {
        const char* name;
        juce::MemoryBlock bytes;
    };

    juce::MemoryBlock textBlock (const char* text)      { return { text, std::strlen (text) }; }

    std::vector<BadContent> unusableContents()
    {
        juce::MemoryBlock binary (4096);
        juce::Random rng (7);
        rng.fillBitsRandomly (binary.getData(), binary.getSize());

        juce::MemoryBlock huge;
        juce::MemoryOutputStream hugeOut (huge, false);
        hugeOut << "<CobaltlineProfile Email=\"";
        for (int i = 0; i < 1100000; ++i) hugeOut << "x";
        hugeOut << "\"/>";
        hugeOut.flush();

        std::string deep;
        for (int i = 0; i < 100000; ++i) deep += "<a>";

        return {
            { "empty",     {} },
            { "binary",    binary },
            { "truncated", textBlock ("<CobaltlineProfile Email=\"a@b.c\" Passw") },
            { "notXml",    textBlock ("MachineName=Studio") },
            { "tooLarge",  huge },
            { "deep",      textBlock (deep.c_str()) },
            { "entities",  textBlock ("<!DOCTYPE p [<!ENTITY a \"&a;&a;\">]><CobaltlineProfile Email=\"&a;\"/>") },
        };
    }
}

TEST_F (SettingsStoreTest, UnusableFilesReadAsDocumentsWithEveryAttributeMissing)
{
    SettingsStore store (folder);
    PasswordCipher cipher;

    for (const auto& bad : unusableContents())
    {
        SCOPED_TRACE (bad.name);
        store.getProfileFile().replaceWithData (bad.bytes.getData(), bad.bytes.getSize());
        store.getPathsFile().replaceWithData (bad.bytes.getData(), bad.bytes.getSize());

        const auto profile = store.loadProfile();
        const auto paths = store.loadPaths();

        ASSERT_NE (profile, nullptr);
        ASSERT_NE (paths, nullptr);
        EXPECT_EQ (profile->getStringAttribute ("Email"), juce::String());
        EXPECT_EQ (cipher.decipherPassword (profile->getStringAttribute ("Password")), juce::String());
        EXPECT_EQ (paths->getStringAttribute ("path1"), juce::String());
        EXPECT_FALSE (paths->getBoolAttribute ("scanToggle1"));
    }
}

#if ! JUCE_WINDOWS
TEST_F (SettingsStoreTest, AFifoNamedLikeASettingsFileIsNotWaitedFor)
{
    SettingsStore store (folder);
    ASSERT_EQ (mkfifo (store.getProfileFile().getFullPathName().toRawUTF8(), 0600), 0);

    auto load = std::async (std::launch::async, [&store] { return store.loadProfile()->getNumAttributes(); });

    if (load.wait_for (std::chrono::seconds (10)) != std::future_status::ready)
    {
        ADD_FAILURE() << "loading a profile that is a FIFO still waits after 10 s";

        // A writer that comes and goes ends the wait, so the test can finish.
        const auto writer = open (store.getProfileFile().getFullPathName().toRawUTF8(), O_WRONLY | O_NONBLOCK);
        close (writer);
    }

    EXPECT_EQ (load.get(), 0);
}
#endif

TEST_F (SettingsStoreTest, AFileInPlaceOfTheFolderIsSurvived)
{
    folder.replaceWithText ("not a folder");
    SettingsStore store (folder);
    store.writeDefaults();

    EXPECT_TRUE (folder.existsAsFile());
    EXPECT_EQ (store.loadProfile()->getNumAttributes(), 0);
    EXPECT_EQ (store.loadPaths()->getNumAttributes(), 0);
}

TEST_F (SettingsStoreTest, DocumentsAreWrittenWholeAndLeaveNoTemporaryFiles)
{
    SettingsStore store (folder);
    juce::XmlElement profile ("CobaltlineProfile");
    profile.setAttribute ("MachineName", juce::String::fromUTF8 ("Caf\xc3\xa9 & <Studio>"));
    profile.setAttribute ("Email", "user@b.c");
    profile.setAttribute ("Password", store.encipherPassword ("secret"));

    ASSERT_TRUE (SettingsStore::writeDocument (profile, store.getProfileFile()));

    EXPECT_EQ (readText (store.getProfileFile()),
               juce::String ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n"
                             "<CobaltlineProfile MachineName=\"Caf&#233; &amp; &lt;Studio&gt;\" Email=\"user@b.c\"\r\n"
                             "                   Password=\"525bbd1838d8d04e\"/>\r\n"));
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFiles), 1);
    EXPECT_EQ (store.readProfile().password, juce::String ("secret"));
}

TEST_F (SettingsStoreTest, AMachineNameNeverLeadsOutOfTheDataFolder)
{
    SettingsStore store (folder);

    for (auto* name : { "Studio PC", "Ü-Bahn (2)", "a.b", "...", "" })
    {
        EXPECT_TRUE (MachineNameRule::isSafe (juce::String::fromUTF8 (name))) << name;
        EXPECT_EQ (store.getMachineFile (juce::String::fromUTF8 (name), SettingsStore::inventorySuffix).getParentDirectory(),
                   folder) << name;
    }

    for (auto* name : { "../x", "/tmp/x", "a/b", "a\\b", ".", "..", "tab\there", "nl\n", "\x7f", "C:x", "~", "~x" })
    {
        EXPECT_FALSE (MachineNameRule::isSafe (name)) << name;
        EXPECT_EQ (store.getMachineFile (name, SettingsStore::inventorySuffix), juce::File()) << name;
    }

    // Whatever the stored name, nothing is written for it anywhere.
    store.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"../escaped\"/>");
    EXPECT_EQ (store.getMachineFile (SettingsStore::updateListSuffix), juce::File());
    EXPECT_FALSE (SettingsStore::writeDocument (juce::XmlElement ("UpdateList"), store.getMachineFile (SettingsStore::updateListSuffix)));
    EXPECT_FALSE (temp["escaped_CobaltlineList.xml"].exists());
}
