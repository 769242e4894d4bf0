#pragma once

#include <juce_core/juce_core.h>

/** The current time, as every part of the program that records or compares
    times asks for it. The application hands the system clock down; tests hand
    in a clock of their own. now() may be called from any thread.
*/
class Clock
{
public:
    virtual ~Clock() = default;

    virtual juce::Time now() const = 0;

    /** The computer's own clock. */
    static const Clock& system();
};
