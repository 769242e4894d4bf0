#pragma once

#include <juce_core/juce_core.h>

/** The current time, as every part of the program that records or compares
    times asks for it. Tests set it with a ScopedOverride. Any thread.
*/
namespace Clock
{
    juce::Time now();

    /** Makes now() answer a fixed time for as long as it lives (tests only). */
    class ScopedOverride
    {
    public:
        explicit ScopedOverride (juce::Time fixedTime);
        ~ScopedOverride();

    private:
        juce::int64 previous;

        JUCE_DECLARE_NON_COPYABLE (ScopedOverride)
    };
}
