#include "core/platform/DesktopServices.h"

#include <juce_events/juce_events.h>

#include <atomic>

AlertRequest AlertRequest::ok (const juce::String& title, const juce::String& message, AlertIcon icon)
{
    return { title, message, icon, { { "OK", 1, AlertKey::returnKey } } };
}

int showAlertFromWorker (DesktopServices& desktop, const AlertRequest& request,
                         const std::function<bool()>& stopWaiting)
{
    struct Handover
    {
        juce::WaitableEvent done;
        std::atomic<bool> abandoned { false };
        std::atomic<int> result { 0 };
    };

    if (stopWaiting())
        return 0;

    auto handover = std::make_shared<Handover>();

    juce::MessageManager::callAsync ([handover, request, &desktop]
    {
        if (! handover->abandoned)
            handover->result = desktop.showAlert (request);

        handover->done.signal();
    });

    while (! handover->done.wait (50))
    {
        if (stopWaiting())
        {
            handover->abandoned = true;
            return 0;
        }
    }

    return handover->result;
}
