#include "gui/scan/PluginScan.h"

PluginScan::PluginScan (const AppContext& appContext)
    : juce::ThreadWithProgressWindow ("Scanning Plugins...", true, true, cancelTimeoutMs, "Cancel"),
      context (appContext),
      connectionChecker (context.service, context.desktop),
      job (context.settings, context.service, connectionChecker, context.clock)
{
    addListener (this);
}

PluginScan::~PluginScan()
{
    removeListener (this);
}

void PluginScan::setScanSettings (const juce::StringArray& folders,
                                  const juce::File& inventory,
                                  const juce::StringArray& formats,
                                  const juce::String& name)
{
    scanSettings = { folders, formats, inventory, name, scanSettings.checkUpdates };
}

void PluginScan::exitSignalSent()
{
    // Zero means "not asked"; the clock is never 0 here in practice, but keep it distinct.
    exitRequestedAtMs = juce::jmax ((juce::uint32) 1, juce::Time::getMillisecondCounter());
}

bool PluginScan::uploadShouldStop() const
{
    const auto askedAt = exitRequestedAtMs.load();
    return askedAt != 0 && juce::Time::getMillisecondCounter() - askedAt > (juce::uint32) uploadGraceAfterCancelMs;
}

void PluginScan::run()
{
    const auto alerts = job.run (scanSettings,
                                 { { [this] { return threadShouldExit(); },
                                     [this] (const juce::String& status) { setStatusMessage (status); },
                                     [this] (double fraction) { setProgress (fraction); } },
                                   [this] { return uploadShouldStop(); } });

    // After "Cancel" the message thread is blocked until this thread ends, so
    // nothing can be shown then.
    for (const auto& alert : alerts)
        showAlertFromWorker (context.desktop, alert, [this] { return threadShouldExit(); });
}
