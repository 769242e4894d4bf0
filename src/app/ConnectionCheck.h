#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/** Finds out whether the update service can be reached, by opening its small
    check page.

    Every part that goes online holds its own ConnectionCheck.
*/
class ConnectionCheck
{
public:
    ConnectionCheck();

    /** True when the check page could be opened.

        When it could not and quiet is false, the "No Internet Connection"
        alert has been shown and closed before this returns; that form runs a
        modal loop and must only be called on the message thread. The quiet
        form may be called from any thread.
    */
    bool check (bool quiet);

    /** The quiet check, abandoned as soon as shouldAbort answers true (polled
        from another thread), so that a worker asked to stop is not held up.
    */
    bool checkQuietly (std::function<bool()> shouldAbort);

    /** How long a check waits for the service before it counts as unreachable. */
    static constexpr int timeoutMs = 10000;

private:
    juce::URL url;
    juce::MemoryBlock body;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ConnectionCheck)
};
