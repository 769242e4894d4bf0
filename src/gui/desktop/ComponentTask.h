#pragma once

#include "core/context/AppContext.h"
#include "core/platform/BackgroundTask.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** Blocking work that a component starts (a request to the update service),
    run on a worker thread while the component waits: it ignores input and
    shows the wait cursor, and a click while it waits starts nothing. The
    result is handed to the component on the message thread, only while it
    still exists; a component closed meanwhile cancels the work.

    Make it a member of the component it waits for. Message thread only.
*/
class ComponentTask final
{
public:
    explicit ComponentTask (juce::Component& owner);
    ~ComponentTask();

    /** Disables the owner and runs work on a worker (see BackgroundTask::start:
        work holds copies of what it uses); when it returns, enables the owner
        again and calls done with its result. False, and nothing happens, while
        the owner is still waiting for an earlier task.
    */
    template <typename Result>
    bool start (std::function<Result (const BackgroundTask::ShouldAbort&)> work, std::function<void (Result)> done)
    {
        if (task.isRunning())
            return false;

        beginWaiting();

        const auto started = task.start<Result> (std::move (work),
            [this, target = juce::Component::SafePointer<juce::Component> (&owner), done = std::move (done)] (Result result)
            {
                if (target == nullptr)
                    return;

                endWaiting();
                done (std::move (result));
            });

        if (! started)
            endWaiting();

        return started;
    }

private:
    void beginWaiting();
    void endWaiting();

    /** Lies over the owner while it waits: takes the clicks and shows the wait cursor. */
    struct WaitingCover final : public juce::Component
    {
        WaitingCover();
    };

    juce::Component& owner;
    WaitingCover cover;
    BackgroundTask task;   // last: cancelled before the rest goes

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ComponentTask)
};

/** The alerting connection check of a click, run on the task's worker: when
    the update service can be reached, whenOnline is called; when it cannot,
    the "No Internet Connection" alert is shown instead. Either happens on the
    message thread, once the check is done, and only while the task's owner
    still exists.
*/
void checkConnectionThen (ComponentTask& task, const AppContext& context, std::function<void()> whenOnline);

/** The quiet connection check, run on the task's worker: then is told on the
    message thread whether the update service could be reached, only while
    the task's owner still exists.
*/
void checkConnectionQuietlyThen (ComponentTask& task, const AppContext& context, std::function<void (bool online)> then);
