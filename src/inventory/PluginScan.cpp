#include "inventory/PluginScan.h"

#include "inventory/InventoryWalk.h"
#include "inventory/MachineProfile.h"
#include "inventory/ScanUpload.h"
#include "service/ServiceReply.h"

PluginScan::PluginScan()
    : juce::ThreadWithProgressWindow ("Scanning Plugins...", true, true, cancelTimeoutMs, "Cancel")
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
    folderList = folders;
    inventoryFile = inventory;
    formatList = formats;
    machineName = name;
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
    cipher = std::make_unique<PasswordCipher>();

    const auto root = makeMachineProfile (machineName, MachineFacts::gather());

    InventoryWalk walk (settingsStore, folderList, formatList, inventoryFile);
    walk.run (*root, { [this] { return threadShouldExit(); },
                       [this] (const juce::String& status) { setStatusMessage (status); },
                       [this] (double fraction) { setProgress (fraction); } });

    upload();
}

void PluginScan::upload()
{
    auto result = ScanUpload::run (settingsStore, *cipher, connectionChecker, inventoryFile,
                                   [this] { return uploadShouldStop(); });
    reply = std::move (result.reply);

    // After "Cancel" the message thread is blocked until this thread ends, so
    // nothing can be shown then.
    const auto stopWaiting = [this] { return threadShouldExit(); };

    if (result.outcome == ScanUpload::Outcome::noReply && ! uploadShouldStop())
    {
        showAlertFromWorker (AlertRequest::ok (noReplyTitle, noReplyText, AlertIcon::warning), stopWaiting);
    }
    else if (result.outcome == ScanUpload::Outcome::stored)
    {
        const auto outcome = classifyReply (reply.get());

        if (outcome.kind == ReplyKind::errors)
            showAlertFromWorker (AlertRequest::ok (outcome.title, outcome.text, AlertIcon::info), stopWaiting);
    }
}
