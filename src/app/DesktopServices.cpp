#include "app/DesktopServices.h"

#include <juce_events/juce_events.h>

#include <atomic>

namespace
{
    class SilentDesktopServices final : public DesktopServices
    {
    public:
        int showAlert (const AlertRequest&) override   { return 0; }
        bool openUrl (const juce::URL&) override       { return false; }
    };

    std::atomic<DesktopServices*> installed { nullptr };
}

AlertRequest AlertRequest::ok (const juce::String& title, const juce::String& message, AlertIcon icon)
{
    return { title, message, icon, { { "OK", 1, AlertKey::returnKey } } };
}

DesktopServices& DesktopServices::get()
{
    if (auto* services = installed.load())
        return *services;

    static SilentDesktopServices silent;
    return silent;
}

void DesktopServices::install (DesktopServices* services)
{
    installed.store (services);
}

DesktopServices::ScopedInstall::ScopedInstall (DesktopServices& services)
    : previous (installed.exchange (&services))
{
}

DesktopServices::ScopedInstall::~ScopedInstall()
{
    installed.store (previous);
}

int showAlertFromWorker (const AlertRequest& request, const std::function<bool()>& stopWaiting)
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

    juce::MessageManager::callAsync ([handover, request]
    {
        if (! handover->abandoned)
            handover->result = showAlert (request);

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
