#include "core/tables/TableData.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    class TableDataTest : public ::testing::Test
    {
    protected:
        TableDataTest()
        {
            useMachine ("Studio");
        }

        void useMachine (const juce::String& name)
        {
            writeTestProfile (test.settings, name, "a@b.c", "pw");
        }

        /** Replaces the machine's update list whole, as the scan does. */
        void writeList (const juce::String& machine, std::initializer_list<std::pair<const char*, const char*>> rows)
        {
            juce::XmlElement list ("UpdateList");

            for (const auto& [name, version] : rows)
            {
                auto* row = list.createNewChildElement ("Plugin");
                row->setAttribute ("Name", name);
                row->setAttribute ("CurrentVersion", version);
            }

            SettingsStore::writeDocument (list, test.settings.getMachineFile (machine, SettingsStore::updateListSuffix));
        }

        juce::StringArray names() const
        {
            juce::StringArray result;

            for (int i = 0; i < data.getNumRows(); ++i)
                result.add (data.getRow (i)->name);

            return result;
        }

        TestContext test;
        TableData data { test.settings, SettingsStore::updateListSuffix, PluginListKind::updateList };
    };
}

TEST_F (TableDataTest, AMissingEmptyOrUnreadableFileHasNoRows)
{
    EXPECT_FALSE (data.reload());
    EXPECT_EQ (data.getNumRows(), 0);
    EXPECT_EQ (data.getRow (0), nullptr);

    const auto file = test.settings.getMachineFile (SettingsStore::updateListSuffix);

    for (const auto* content : { "", "<UpdateList><Plugin", "\x89PNG", "<Errors ErrorTitle=\"Login Failed\"/>" })
    {
        file.replaceWithText (content);
        data.reload();
        EXPECT_EQ (data.getNumRows(), 0) << content;
    }
}

TEST_F (TableDataTest, ANewFileIsReadAndAnUnchangedOneIsNotParsedAgain)
{
    writeList ("Studio", { { "B", "1.0" }, { "A", "2.0" } });
    EXPECT_TRUE (data.reload());
    EXPECT_EQ (names(), juce::StringArray ("B", "A"));
    EXPECT_FALSE (data.reload());

    writeList ("Studio", { { "C", "1.0" } });
    EXPECT_TRUE (data.reload());
    EXPECT_EQ (names(), juce::StringArray ("C"));

    // The same size and modification time, but a new file: read again.
    const auto file = test.settings.getMachineFile (SettingsStore::updateListSuffix);
    const juce::Time sameTime (2026, 0, 1, 12, 0);
    file.setLastModificationTime (sameTime);
    data.reload();
    writeList ("Studio", { { "D", "1.0" } });
    file.setLastModificationTime (sameTime);
    EXPECT_TRUE (data.reload());
    EXPECT_EQ (names(), juce::StringArray ("D"));

    file.deleteFile();
    EXPECT_TRUE (data.reload());
    EXPECT_EQ (data.getNumRows(), 0);
}

TEST_F (TableDataTest, AnotherMachineNameSwitchesFilesAtOnce)
{
    writeList ("Studio", { { "Studio Plug", "1.0" } });
    writeList ("Laptop", { { "Laptop Plug", "1.0" }, { "Other", "1.0" } });
    data.reload();
    EXPECT_EQ (names(), juce::StringArray ("Studio Plug"));

    useMachine ("Laptop");
    EXPECT_TRUE (data.reload());
    EXPECT_EQ (data.getFile().getFileName(), juce::String ("Laptop_CobaltlineList.xml"));
    EXPECT_EQ (names(), juce::StringArray ("Laptop Plug", "Other"));
}

TEST_F (TableDataTest, SortsByTheStoredTextAndOnlyWhenSomethingChanged)
{
    writeList ("Studio", { { "x", "4.100" }, { "y", "10.2" }, { "z", "4.2" } });
    data.reload();

    EXPECT_TRUE (data.sort (&PluginRow::latestVersion, true));
    EXPECT_EQ (names(), juce::StringArray ("y", "x", "z"));   // "10.2" < "4.100" < "4.2"
    EXPECT_FALSE (data.sort (&PluginRow::latestVersion, true));

    EXPECT_TRUE (data.sort (&PluginRow::latestVersion, false));
    EXPECT_EQ (names(), juce::StringArray ("z", "x", "y"));

    writeList ("Studio", { { "b", "1" }, { "a", "1" } });
    data.reload();
    EXPECT_TRUE (data.sort (&PluginRow::latestVersion, false));   // new rows are sorted again
}
