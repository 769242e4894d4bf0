#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** Lets the message loop run for a while, so that async work gets done. */
inline void pumpMessages (int milliseconds = 50)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

/** Runs an action on the message loop once the given modal loop has started. */
inline void whenModal (std::function<void (juce::Component&)> action)
{
    struct Poller final : public juce::Timer
    {
        explicit Poller (std::function<void (juce::Component&)> a) : act (std::move (a))  { startTimer (20); }

        void timerCallback() override
        {
            if (auto* modal = juce::Component::getCurrentlyModalComponent())
            {
                stopTimer();
                act (*modal);
                delete this;
            }
        }

        std::function<void (juce::Component&)> act;
    };

    new Poller (std::move (action));
}
