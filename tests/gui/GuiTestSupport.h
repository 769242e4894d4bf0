#pragma once

// Helpers shared by the GUI test suite.

#include "../support/TestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

/** Lets the message loop run for a while, so that async work gets done. */
inline void pumpMessages (int milliseconds = 50)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

/** Lets the message loop run until the condition holds, for at most
    timeoutMs; whether it came to hold. For results that come from a worker.
*/
inline bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 60000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }

    return true;
}

/** Acts on the next modal component as soon as a modal loop has shown it,
    once, for as long as this object lives. Create it before the call that
    runs the modal loop:

        WhenModal pressEscape ([] (juce::Component& modal) { ... });
        scan.runThread();
*/
class WhenModal final : private juce::Timer
{
public:
    explicit WhenModal (std::function<void (juce::Component&)> actionToRun)
        : action (std::move (actionToRun))
    {
        startTimer (20);
    }

    ~WhenModal() override   { stopTimer(); }

private:
    void timerCallback() override
    {
        if (auto* modal = juce::Component::getCurrentlyModalComponent())
        {
            stopTimer();
            action (*modal);
        }
    }

    std::function<void (juce::Component&)> action;

    JUCE_DECLARE_NON_COPYABLE (WhenModal)
};

/** Acts once on the first modal component of the given type (an alert, a
    chooser) as soon as a modal loop shows it, for as long as this object
    lives; modal components of other types are left alone.
*/
template <typename ModalType>
class WhenModalIs final : private juce::Timer
{
public:
    explicit WhenModalIs (std::function<void (ModalType&)> actionToRun)
        : action (std::move (actionToRun))
    {
        startTimer (20);
    }

    ~WhenModalIs() override   { stopTimer(); }

private:
    void timerCallback() override
    {
        if (auto* modal = dynamic_cast<ModalType*> (juce::Component::getCurrentlyModalComponent()))
        {
            stopTimer();
            action (*modal);
        }
    }

    std::function<void (ModalType&)> action;

    JUCE_DECLARE_NON_COPYABLE (WhenModalIs)
};

/** The first direct child of the given type, or nullptr. */
template <typename ComponentType>
ComponentType* findChild (juce::Component& parent)
{
    for (auto* child : parent.getChildren())
        if (auto* found = dynamic_cast<ComponentType*> (child))
            return found;

    return nullptr;
}

/** The first component of the given type below the parent, at any depth, or nullptr. */
template <typename ComponentType>
ComponentType* findDescendant (juce::Component& parent)
{
    for (auto* child : parent.getChildren())
    {
        if (auto* found = dynamic_cast<ComponentType*> (child))
            return found;

        if (auto* found = findDescendant<ComponentType> (*child))
            return found;
    }

    return nullptr;
}

/** Every component of the given type below the parent, at any depth. */
template <typename ComponentType>
std::vector<ComponentType*> findDescendants (juce::Component& parent)
{
    std::vector<ComponentType*> found;

    for (auto* child : parent.getChildren())
    {
        if (auto* typed = dynamic_cast<ComponentType*> (child))
            found.push_back (typed);

        for (auto* below : findDescendants<ComponentType> (*child))
            found.push_back (below);
    }

    return found;
}

/** The first component below the parent, at any depth, with this name; or nullptr. */
inline juce::Component* findChildNamed (juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
    {
        if (child->getName() == name)
            return child;

        if (auto* found = findChildNamed (*child, name))
            return found;
    }

    return nullptr;
}
