#pragma once

#include "core/service/ConnectionCheck.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The wait cursor, for as long as this lives: around requests that a click
    starts and that block the message thread until the service answers.
*/
class ScopedWaitCursor final
{
public:
    ScopedWaitCursor()    { juce::MouseCursor::showWaitCursor(); }
    ~ScopedWaitCursor()   { juce::MouseCursor::hideWaitCursor(); }

private:
    JUCE_DECLARE_NON_COPYABLE (ScopedWaitCursor)
};

/** The alerting connection check of a click: the wait cursor while it waits
    for the service, then, without it, the "No Internet Connection" alert when
    the service cannot be reached.
*/
inline bool checkConnectionWaiting (const ConnectionCheck& connection)
{
    {
        const ScopedWaitCursor waiting;

        if (connection.checkQuietly ({}))
            return true;
    }

    connection.showNoConnectionAlert();
    return false;
}
