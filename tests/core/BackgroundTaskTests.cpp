#include "core/platform/BackgroundTask.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

namespace
{
    /** The test's thread as the message thread, with a loop to pump. */
    class BackgroundTaskTest : public ::testing::Test
    {
    protected:
        BackgroundTaskTest()    { juce::MessageManager::getInstance()->setCurrentThreadAsMessageThread(); }
        ~BackgroundTaskTest() override
        {
            release.signal();
            juce::MessageManager::deleteInstance();
        }

        /** Runs the message loop until the condition holds, for at most 20 s. */
        static bool pumpUntil (const std::function<bool()>& condition)
        {
            const auto end = juce::Time::getMillisecondCounter() + 20000;

            while (! condition())
            {
                if (juce::Time::getMillisecondCounter() > end)
                    return false;

                juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
            }

            return true;
        }

        /** Work that ends when the test releases it (or after 5 s), or, when
            asked to, once it is aborted.
        */
        std::function<int (const BackgroundTask::ShouldAbort&)> heldWork (bool heedsAbort)
        {
            return [this, heedsAbort] (const BackgroundTask::ShouldAbort& shouldAbort)
            {
                workThread = juce::Thread::getCurrentThreadId();

                for (int i = 0; i < 500 && ! release.wait (10); ++i)
                {
                    if (heedsAbort && shouldAbort())
                    {
                        sawAbort = true;
                        return -1;
                    }
                }

                return 42;
            };
        }

        juce::WaitableEvent release { true };
        std::atomic<juce::Thread::ThreadID> workThread { nullptr };
        std::atomic<bool> sawAbort { false };
        std::optional<int> delivered;
        juce::Thread::ThreadID deliveredOn = nullptr;
    };
}

TEST_F (BackgroundTaskTest, TheResultComesToTheMessageThreadAndOneTaskRunsAtATime)
{
    BackgroundTask task;
    const auto done = [this] (int result)
    {
        delivered = result;
        deliveredOn = juce::Thread::getCurrentThreadId();
    };

    ASSERT_TRUE (task.start<int> (heldWork (false), done));
    EXPECT_TRUE (task.isRunning());
    EXPECT_FALSE (task.start<int> (heldWork (false), done));   // a second click while waiting

    release.signal();
    ASSERT_TRUE (pumpUntil ([this] { return delivered.has_value(); }));

    EXPECT_EQ (delivered, 42);
    EXPECT_EQ (deliveredOn, juce::MessageManager::getInstance()->getCurrentMessageThread());
    EXPECT_NE (workThread.load(), deliveredOn);
    EXPECT_FALSE (task.isRunning());

    // Once delivered, the next task may start.
    delivered.reset();
    EXPECT_TRUE (task.start<int> (heldWork (false), done));
    ASSERT_TRUE (pumpUntil ([this] { return delivered.has_value(); }));
}

TEST_F (BackgroundTaskTest, ACancelledTaskIsAbortedAndNeverDelivers)
{
    {
        BackgroundTask task;
        ASSERT_TRUE (task.start<int> (heldWork (true), [this] (int r) { delivered = r; }));
        ASSERT_TRUE (pumpUntil ([this] { return workThread.load() != nullptr; }));
    }   // its owner goes

    EXPECT_TRUE (pumpUntil ([this] { return sawAbort.load(); }));
    juce::MessageManager::getInstance()->runDispatchLoopUntil (200);
    EXPECT_FALSE (delivered.has_value());
}

TEST_F (BackgroundTaskTest, WorkThatIgnoresTheAbortIsLeftBehindWithoutDelivering)
{
    const auto started = juce::Time::getMillisecondCounter();

    {
        BackgroundTask task;
        ASSERT_TRUE (task.start<int> (heldWork (false), [this] (int r) { delivered = r; }));
        task.cancel();
        EXPECT_FALSE (task.isRunning());
    }

    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 2000u);   // not the 5 s of the work

    // The work ends later on its own; its result goes nowhere.
    release.signal();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (200);
    EXPECT_FALSE (delivered.has_value());
}
