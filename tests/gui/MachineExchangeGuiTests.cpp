// "Export" and "Import" on the navigation bar, driven through the desktop's seams.

#include "core/exchange/MachineExport.h"
#include "core/exchange/MachineImport.h"
#include "gui/views/ProfileComparisonView.h"
#include "gui/views/UpdateNavigation.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    class MachineExchangeGuiTest : public ::testing::Test
    {
    protected:
        MachineExchangeGuiTest()
        {
            writeTestProfile (test.settings, "Studio", "a@b.c", "secret password");
        }

        ~MachineExchangeGuiTest() override
        {
            closeDialogs();
        }

        static void closeDialogs()
        {
            while (auto* modal = juce::Component::getCurrentlyModalComponent())
            {
                modal->exitModalState (0);
                pumpMessages (20);
            }
        }

        void writeInventory (const SettingsStore& settings, const juce::String& machine, const juce::String& rows)
        {
            settings.getMachineFile (machine, SettingsStore::inventorySuffix)
                .replaceWithText ("<MachineProfile MachineName=\"" + machine + "\">" + rows + "</MachineProfile>");
        }

        static juce::String plugin (const juce::String& name, const juce::String& version, const juce::String& vendor = "Acme")
        {
            return "<Plugin Name=\"" + name + "\" Version=\"" + version + "\" Vendor=\"" + vendor
                 + "\" Path=\"/p/" + name + ".dll\" Format=\"VST\" Error=\"\"/>";
        }

        /** Presses a button of the bar and waits until the bar's work is done. */
        void press (UpdateNavigation& bar, const char* name)
        {
            auto* button = dynamic_cast<juce::Button*> (findChildNamed (bar, name));
            ASSERT_NE (button, nullptr);
            button->triggerClick();
            pumpMessages (20);
            ASSERT_TRUE (pumpUntil ([&] { return bar.isEnabled(); }, 10000));
            pumpMessages (20);
        }

        /** Every file of the data folder with its bytes. */
        std::map<juce::String, juce::MemoryBlock> dataFolderContents() const
        {
            std::map<juce::String, juce::MemoryBlock> contents;

            for (const auto& entry : juce::RangedDirectoryIterator (test.dataFolder(), true, "*", juce::File::findFiles))
                contents[entry.getFile().getFullPathName()] = readBytes (entry.getFile());

            return contents;
        }

        TestContext test;
        UpdateNavigation bar { test.get() };
    };
}

TEST_F (MachineExchangeGuiTest, ExportsEachKindThroughTheSaveChooser)
{
    writeInventory (test.settings, "Studio", plugin ("=Danger", "1.0") + plugin ("Phaser", "2.5"));

    for (const auto* name : { "studio.cobaltline", "studio.csv", "studio.json" })
    {
        test.desktop.pickFileToSave (test.temp[name]);
        press (bar, "exportButton");
    }

    EXPECT_TRUE (test.desktop.getAlerts().empty());
    EXPECT_EQ (test.desktop.getFileRequests().front().first, "Export Machine Profile");
    EXPECT_EQ (test.desktop.getFileRequests().front().second.getFileName(), "Studio.cobaltline");

    const auto exported = MachineImport::read (test.temp["studio.cobaltline"]);
    ASSERT_EQ (exported.problem, MachineImport::Problem::none);
    EXPECT_EQ (exported.snapshot.machineName, "Studio");
    ASSERT_EQ (exported.snapshot.plugins.size(), 2u);
    EXPECT_EQ (exported.snapshot.plugins[0].name, "=Danger");

    // A name without one of the three endings gets the default one; the file
    // of that name is not replaced without asking.
    test.temp["studio.cobaltline"].replaceWithText ("kept");
    test.desktop.pickFileToSave (test.temp["studio"]);
    press (bar, "exportButton");
    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, "Replace Existing File?");
    EXPECT_EQ (readText (test.temp["studio.cobaltline"]), "kept");

    test.desktop.answerWith ([] (const AlertRequest&) { return 1; });
    press (bar, "exportButton");
    EXPECT_EQ (MachineImport::read (test.temp["studio.cobaltline"]).problem, MachineImport::Problem::none);
    EXPECT_FALSE (test.temp["studio"].exists());

    const auto csv = readText (test.temp["studio.csv"]);
    EXPECT_TRUE (csv.startsWith (juce::String::fromUTF8 ("\xef\xbb\xbf") + "Name,Vendor,Format,Installed Version"));
    EXPECT_TRUE (csv.contains ("'=Danger,Acme,VST,1.0")) << csv;
    EXPECT_TRUE (juce::JSON::parse (readText (test.temp["studio.json"])).isObject());

    // Never the account.
    for (const auto* name : { "studio.cobaltline", "studio.csv", "studio.json" })
    {
        EXPECT_FALSE (readText (test.temp[name]).contains ("a@b.c")) << name;
        EXPECT_FALSE (readText (test.temp[name]).contains ("secret password")) << name;
    }
}

TEST_F (MachineExchangeGuiTest, NothingToExportAndAnUnwritablePlaceAreTold)
{
    test.desktop.pickFileToSave (test.temp["never.cobaltline"]);
    press (bar, "exportButton");
    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, "Nothing to Export");
    EXPECT_TRUE (test.desktop.getFileRequests().empty());   // no file picked for nothing

    writeInventory (test.settings, "Studio", plugin ("Phaser", "2.5"));
    test.desktop.pickFileToSave (test.temp["no such folder/studio.cobaltline"]);
    press (bar, "exportButton");
    ASSERT_EQ (test.desktop.getAlerts().size(), 2u);
    EXPECT_EQ (test.desktop.getAlerts()[1].title, "Export Failed");
    EXPECT_FALSE (test.temp["no such folder"].exists());
}

TEST_F (MachineExchangeGuiTest, ImportComparesAnotherMachineAndChangesNothingHere)
{
    // The other machine's export, made from a data folder of its own.
    TempFolder otherTemp;
    const SettingsStore other (otherTemp["data"]);
    writeTestProfile (other, "Laptop", "x@y.z", "pw");
    writeInventory (other, "Laptop", plugin ("OnlyThere", "1.0") + plugin ("Older", "2.0") + plugin ("Newer", "1.0")
                                         + plugin ("same", "1.50", "ACME"));
    ASSERT_EQ (MachineExport::exportTo (other, "Laptop", otherTemp["laptop.cobaltline"]), MachineExport::Outcome::written);

    writeInventory (test.settings, "Studio", plugin ("OnlyHere", "1.0") + plugin ("Older", "1.9") + plugin ("Newer", "1.01")
                                                 + plugin ("Same", "1.5"));
    const auto before = dataFolderContents();

    test.desktop.pickFileToOpen (otherTemp["laptop.cobaltline"]);
    press (bar, "import");

    auto* view = dynamic_cast<ProfileComparisonView*> (findDescendant<ProfileComparisonView> (
        *juce::Component::getCurrentlyModalComponent()));
    ASSERT_NE (view, nullptr);
    EXPECT_EQ (view->findParentComponentOfClass<juce::DialogWindow>()->getName(), "Compared with Laptop");
    EXPECT_EQ (view->getSummary(), "Missing here: 1     Missing there: 1     Older here: 1     Newer here: 1     Same: 1");

    auto& table = view->getTable();
    ASSERT_EQ (table.getNumRows(), 5);
    std::map<juce::String, juce::String> groups;

    for (int i = 0; i < table.getNumRows(); ++i)
        groups[table.getRow (i)->name] = table.getRow (i)->remark;

    EXPECT_EQ (groups, (std::map<juce::String, juce::String> { { "Newer", "Newer here" }, { "Older", "Older here" },
                                                               { "OnlyHere", "Missing there" }, { "OnlyThere", "Missing here" },
                                                               { "Same", "Same" } }));

    // It sorts and opens its rows like the tabs.
    table.getTable().getHeader().setSortColumnId (6, true);
    pumpMessages (30);
    EXPECT_EQ (table.getRow (0)->remark, "Missing here");
    table.openRow (0);
    EXPECT_EQ (test.desktop.getUrls(), std::vector<juce::String> { "https://www.google.com/search?q=Acme%20OnlyThere" });

    EXPECT_EQ (dataFolderContents(), before);
}

TEST_F (MachineExchangeGuiTest, ABadFileGivesItsAlertAndNoWindow)
{
    const auto notAnExport = test.temp["other.cobaltline"];
    notAnExport.replaceWithText ("<MachineProfile MachineName=\"x\"/>");
    test.desktop.pickFileToOpen (notAnExport);
    press (bar, "import");

    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, "Import Failed");
    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr);

    // Cancelled: nothing at all.
    test.desktop.pickFileToOpen ({});
    press (bar, "import");
    EXPECT_EQ (test.desktop.getAlerts().size(), 1u);
}
