#include "core/tables/TableReloader.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

namespace
{
    class TableReloaderTest : public ::testing::Test
    {
    protected:
        TableReloaderTest()
        {
            writeTestProfile (test.settings, "Studio", "a@b.c", "pw");
        }

        void writeInventory (const juce::String& rows)
        {
            test.settings.getMachineFile (SettingsStore::inventorySuffix)
                .replaceWithText ("<MachineProfile>" + rows + "</MachineProfile>");
        }

        /** The names of the next rows made ready, or "timed out". */
        juce::StringArray nextNames (TableReloader& reloader)
        {
            if (! ready.wait (5000))
                return { "timed out" };

            juce::StringArray names;

            if (const auto rows = reloader.takeRows())
                for (const auto& row : rows->rows)
                    names.add (row.name);

            return names;
        }

        std::function<void()> signalReady()
        {
            return [this]
            {
                readyOnThread = juce::Thread::getCurrentThreadId();
                ++calls;
                ready.signal();
            };
        }

        TestContext test;
        juce::WaitableEvent ready;
        std::atomic<juce::Thread::ThreadID> readyOnThread { nullptr };
        std::atomic<int> calls { 0 };
    };
}

TEST_F (TableReloaderTest, RowsAreMadeOnItsOwnThreadSortedAndOnlyWhenTheyChange)
{
    writeInventory ("<Plugin Name=\"b\" Vendor=\"1\"/><Plugin Name=\"a\" Vendor=\"2\"/><Plugin Name=\"c\" Vendor=\"3\"/>");
    TableReloader reloader (test.settings, TableRules::TableDefinition::installed(), signalReady());

    reloader.requestRows (1, true);
    EXPECT_EQ (nextNames (reloader), juce::StringArray ("a", "b", "c"));
    EXPECT_NE (readyOnThread.load(), juce::Thread::getCurrentThreadId());

    reloader.requestRows (2, false);   // Vendor, backwards
    EXPECT_EQ (nextNames (reloader), juce::StringArray ("c", "a", "b"));

    // Neither the file nor the order changed: nothing new.
    reloader.requestRows (2, false);
    EXPECT_FALSE (ready.wait (300));
    EXPECT_EQ (reloader.takeRows(), nullptr);

    // A column the table does not have leaves the order.
    writeInventory ("<Plugin Name=\"z\"/><Plugin Name=\"y\"/>");
    reloader.requestRows (9, true);
    EXPECT_EQ (nextNames (reloader), juce::StringArray ("z", "y"));
    EXPECT_EQ (calls.load(), 3);
}
