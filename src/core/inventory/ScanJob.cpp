#include "core/inventory/ScanJob.h"

#include "core/inventory/MachineProfile.h"
#include "core/inventory/ScanUpload.h"
#include "core/service/ServiceReply.h"
#include "core/tables/PluginRow.h"

namespace
{
    AlertRequest makeNotWrittenAlert (const juce::StringArray& files)
    {
        return AlertRequest::ok (ScanJob::notWrittenTitle,
                                 "Cobaltline could not write these files, so the results of this scan are incomplete:\n\n"
                                     + files.joinIntoString ("\n")
                                     + "\n\nPlease make sure that the disk has free space and that the folder can be "
                                       "written to, then scan again.",
                                 AlertIcon::warning);
    }
}

AlertRequest ScanJob::makeOfflineAlert()
{
    return AlertRequest::ok (offlineTitle, offlineText, AlertIcon::warning);
}

ScanJob::ScanJob (const SettingsStore& settings, const ServiceEndpoint& serviceEndpoint,
                  const ConnectionCheck& connectionCheck, const Clock& clockToUse)
    : settingsStore (settings), service (serviceEndpoint), connection (connectionCheck), clock (clockToUse)
{
}

std::vector<AlertRequest> ScanJob::run (const Settings& settings, const Callbacks& callbacks)
{
    const auto root = makeMachineProfile (settings.machineName, MachineFacts::gather (clock));

    InventoryWalk walk (settingsStore, settings.folders, settings.formats, settings.inventoryFile);
    walk.run (*root, callbacks.walk);

    std::vector<AlertRequest> alerts;
    auto unwritten = walk.getUnwrittenFiles();
    const auto abandoned = [&callbacks] { return callbacks.shouldAbandonUpload && callbacks.shouldAbandonUpload(); };

    // The details file is written again with how the check for updates ended.
    auto details = walk.getDetails();

    const auto recordOutcome = [&] (ScanDetails::UpdateCheck check, const juce::String& serviceMessage)
    {
        details.updateCheck = check;
        details.serviceMessage = serviceMessage;
        const auto file = ScanDetails::fileBeside (settings.inventoryFile);

        if (! details.writeTo (file))
            unwritten.addIfNotAlreadyThere (file.getFullPathName());
    };

    // Without the service the inventory still stands; the update list of an
    // earlier inventory no longer matches it and goes.
    const auto withoutUpdates = [&]
    {
        const auto updateList = settingsStore.getMachineFile (settings.machineName, SettingsStore::updateListSuffix);

        if (updateList.exists() && ! updateList.deleteFile())
            unwritten.add (updateList.getFullPathName());
    };

    if (! settings.checkUpdates)
    {
        withoutUpdates();
        recordOutcome (ScanDetails::UpdateCheck::notChecked, {});
        alerts.push_back (makeOfflineAlert());

        if (! unwritten.isEmpty())
            alerts.push_back (makeNotWrittenAlert (unwritten));

        return alerts;
    }

    auto upload = ScanUpload::run (settingsStore, service, connection, settings.inventoryFile,
                                   callbacks.shouldAbandonUpload);
    reply = std::move (upload.reply);

    switch (upload.outcome)
    {
        case ScanUpload::Outcome::notConnected:
            withoutUpdates();
            recordOutcome (ScanDetails::UpdateCheck::notChecked, {});

            // After "Cancel" the check is abandoned on purpose: nothing to say then.
            if (! abandoned())
                alerts.push_back (makeOfflineAlert());
            break;

        case ScanUpload::Outcome::noReply:
            recordOutcome (ScanDetails::UpdateCheck::noReply, {});

            // After "Cancel" the upload is abandoned on purpose: nothing to say then.
            if (! abandoned())
                alerts.push_back (AlertRequest::ok (noReplyTitle, noReplyText, AlertIcon::warning));
            break;

        case ScanUpload::Outcome::notStored:
            unwritten.add (upload.updateListFile.getFullPathName());
            [[fallthrough]];

        case ScanUpload::Outcome::stored:
            // A refusal of the scan is told with the service's words, as a notice.
            if (const auto outcome = classifyReply (reply.get()); outcome.kind == ReplyKind::errors)
            {
                juce::StringArray words (outcome.title, outcome.text);
                words.removeEmptyStrings();
                recordOutcome (ScanDetails::UpdateCheck::refused, words.joinIntoString (": "));
                alerts.push_back (AlertRequest::ok (outcome.title, outcome.text, AlertIcon::info));
            }
            else
            {
                details.updates = reply != nullptr ? (int) PluginRow::allFrom (*reply, PluginListKind::updateList).size() : 0;
                recordOutcome (ScanDetails::UpdateCheck::checked, {});
            }
            break;
    }

    if (! unwritten.isEmpty())
        alerts.push_back (makeNotWrittenAlert (unwritten));

    return alerts;
}
