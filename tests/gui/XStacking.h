#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Where the X server stacks the program's windows, asked over a connection
    of the test's own (so the answer is the server's, not what JUCE believes).
*/
namespace XStacking
{
    /** True when there is an X display to ask. */
    bool isAvailable();

    /** True when the window of upper is stacked above the window of lower. */
    bool isAbove (juce::Component& upper, juce::Component& lower);
}
