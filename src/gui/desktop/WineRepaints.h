#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Keeps windows repainting when the Windows build runs under Wine.

    JUCE flushes a window's pending repaints when the display's vertical
    blank arrives, and Wine 8 never signals that wait, so after the first
    frame nothing on screen changes. While running under Wine this timer
    flushes every window's repaints at the display rate itself; on Windows
    and on every other platform it does nothing and never starts.
*/
class WineRepaints final : private juce::Timer
{
public:
    WineRepaints();
    ~WineRepaints() override;

private:
    void timerCallback() override;

    JUCE_DECLARE_NON_COPYABLE (WineRepaints)
};
