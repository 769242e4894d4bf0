#pragma once

#include <juce_events/juce_events.h>

#include <atomic>
#include <functional>
#include <memory>

/** One piece of blocking work (an exchange with the update service) run on a
    thread of its own, its result handed back to the message thread.

    The work gets a shouldAbort predicate that answers true once the task has
    been cancelled. It must hold copies of everything it uses: a worker whose
    exchange cannot be interrupted is left to end on its own, after the object
    that started it may be gone. The result is posted with
    juce::MessageManager::callAsync and handed to done only if the task has
    not been cancelled by then, so done may safely refer to the task's owner.

    Start, cancel and destroy it on the message thread.
*/
class BackgroundTask final
{
public:
    using ShouldAbort = std::function<bool()>;

    BackgroundTask() = default;

    /** Cancels a task still running: its result is dropped. */
    ~BackgroundTask();

    /** Starts work on a new thread and returns at once. When the work returns,
        done gets its result on the message thread, unless the task was
        cancelled first; done may start the next task. Refused (false) while a
        task is running, or when no thread could be started.
    */
    template <typename Result>
    bool start (std::function<Result (const ShouldAbort&)> work, std::function<void (Result)> done)
    {
        if (isRunning())
            return false;

        // The continuation is held here, on the message thread, and dies here;
        // the worker only knows where to find it.
        auto continuation = std::make_shared<std::function<void (Result)>> (std::move (done));
        std::weak_ptr<std::function<void (Result)>> weakContinuation = continuation;
        auto shared = std::make_shared<Shared>();

        const auto launched = juce::Thread::launch ([shared, weakContinuation, work = std::move (work)]
        {
            auto result = std::make_shared<Result> (work ([shared] { return shared->cancelled.load(); }));

            if (! shared->cancelled)
            {
                juce::MessageManager::callAsync ([shared, weakContinuation, result]
                {
                    // A cancelled task has released its continuation.
                    if (const auto continueWith = weakContinuation.lock())
                    {
                        shared->delivered = true;
                        (*continueWith) (std::move (*result));
                    }
                });
            }

            shared->finished.signal();
        });

        if (! launched)
            return false;

        current = std::move (shared);
        pendingContinuation = std::move (continuation);
        return true;
    }

    /** True from start until the result has been handed over or the task cancelled. */
    bool isRunning() const noexcept   { return current != nullptr && ! current->delivered; }

    /** Makes shouldAbort answer true and drops the result, then waits up to
        waitMs for the work to end. Work that does not end in time is left to
        finish on its own, its result unused: an exchange notices the abort
        within its watchdog's next poll, but JUCE's HTTP stream may sit out up
        to a second waiting on its socket before it sees the cancel, and a
        window being closed must not be held up for that.
    */
    void cancel (int waitMs = cancelWaitMs);

    /** Long enough for work that stops at once (a refused connection, an
        exchange between two reads), short enough not to be felt. */
    static constexpr int cancelWaitMs = 200;

private:
    struct Shared
    {
        std::atomic<bool> cancelled { false };
        juce::WaitableEvent finished { true };
        bool delivered = false;   // message thread only
    };

    std::shared_ptr<Shared> current;
    std::shared_ptr<void> pendingContinuation;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BackgroundTask)
};
