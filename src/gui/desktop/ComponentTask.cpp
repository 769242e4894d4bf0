#include "gui/desktop/ComponentTask.h"

#include "core/service/ConnectionCheck.h"

ComponentTask::WaitingCover::WaitingCover()
{
    setName ("waitingCover");
    setMouseCursor (juce::MouseCursor::WaitCursor);
    setInterceptsMouseClicks (true, false);
}

ComponentTask::ComponentTask (juce::Component& ownerToWaitFor)
    : owner (ownerToWaitFor)
{
}

ComponentTask::~ComponentTask()
{
    // Cancelled first: the owner may be half destroyed already, so nothing
    // of it is touched but the cover, which leaves it with its destructor.
    task.cancel();
}

void ComponentTask::beginWaiting()
{
    // Disabled, the owner's fields give up the keyboard and its buttons ignore
    // clicks; Escape and the window's close button still close its window.
    owner.setEnabled (false);
    owner.addAndMakeVisible (cover);
    cover.setBounds (owner.getLocalBounds());
    juce::Desktop::getInstance().getMainMouseSource().forceMouseCursorUpdate();
}

void ComponentTask::endWaiting()
{
    owner.removeChildComponent (&cover);
    owner.setEnabled (true);
    juce::Desktop::getInstance().getMainMouseSource().forceMouseCursorUpdate();
}

void checkConnectionQuietlyThen (ComponentTask& task, const AppContext& context, std::function<void (bool)> then)
{
    task.start<bool> ([service = context.service] (const BackgroundTask::ShouldAbort& shouldAbort)
                      {
                          return ConnectionCheck::canReach (service, shouldAbort);
                      },
                      std::move (then));
}

void checkConnectionThen (ComponentTask& task, const AppContext& context, std::function<void()> whenOnline)
{
    checkConnectionQuietlyThen (task, context, [&desktop = context.desktop, whenOnline = std::move (whenOnline)] (bool online)
    {
        if (online)
            whenOnline();
        else
            desktop.showAlert (ConnectionCheck::makeNoConnectionAlert());
    });
}
