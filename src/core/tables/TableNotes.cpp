#include "core/tables/TableNotes.h"

namespace TableNotes
{
namespace
{
    const char* const noScanYet = "No scan yet. Press Scan to find the plug-ins in your folders "
                                  "and check them for updates.";

    juce::String hiddenRows (const Facts& facts)
    {
        if (facts.filterText.isNotEmpty())
            return "No plug-in's name or vendor contains \"" + facts.filterText + "\".";

        return "Every update on the list is ignored. Tick \"Show Ignored\" to see them.";
    }

    juce::String noUpdateRows (const Facts& facts)
    {
        if (facts.refusal.isNotEmpty())
            return "The update service refused the last scan: " + facts.refusal;

        if (facts.fileHasData)
            return "Every plug-in of the last scan is up to date.";

        switch (facts.lastScan.value_or (ScanDetails::UpdateCheck::pending))
        {
            case ScanDetails::UpdateCheck::notChecked:
                return "The update service could not be reached at the last scan, so updates were not checked. "
                       "Press Scan to try again.";
            case ScanDetails::UpdateCheck::noReply:
                return "The update service did not answer the last scan. Press Scan to try again.";
            case ScanDetails::UpdateCheck::refused:
                return "The update service refused the last scan: " + facts.serviceMessage;
            case ScanDetails::UpdateCheck::checked:
                return "The list of updates of the last scan is missing. Press Scan to check again.";
            case ScanDetails::UpdateCheck::pending:
            case ScanDetails::UpdateCheck::cleared:
                break;
        }

        return noScanYet;
    }
}

juce::String whyEmpty (const Facts& facts)
{
    if (facts.shownRows > 0)
        return {};

    if (facts.totalRows > 0)
        return hiddenRows (facts);

    // For the files the scan could not use, the file is the scan details themselves.
    const auto cleared = facts.lastScan == ScanDetails::UpdateCheck::cleared;

    if (cleared && (facts.kind == PluginListKind::notRecognised || ! facts.fileHasData))
        return "The results of the last scan were cleared when Cobaltline started, because they were more than "
               "an hour old. Press Scan to scan again.";

    switch (facts.kind)
    {
        case PluginListKind::updateList:
            return noUpdateRows (facts);

        case PluginListKind::inventory:
            if (facts.fileHasData)
                return "The last scan found no plug-ins. Check the folders and their ticks on the Paths page "
                       "of the Preferences.";
            break;

        case PluginListKind::notRecognised:
            if (facts.fileHasData)
                return "Every plug-in file of the last scan was recognised.";
            break;

        case PluginListKind::comparison:
            return "Neither machine has any plug-ins.";
    }

    return noScanYet;
}

juce::String lastScanLine (const ScanDetails& details)
{
    const auto count = [] (size_t n, const char* one, const char* many)
    {
        return juce::String ((juce::int64) n) + " " + (n == 1 ? one : many);
    };

    const auto kept = count (details.kept.size(), "plug-in kept", "plug-ins kept");
    const auto unused = count (details.rejected.size(), "file not recognised", "files not recognised");

    switch (details.updateCheck)
    {
        case ScanDetails::UpdateCheck::cleared:
            return {};
        case ScanDetails::UpdateCheck::pending:
            return "Last scan incomplete: " + kept + ", " + unused + ".";
        case ScanDetails::UpdateCheck::checked:
            return "Last scan: " + kept + ", " + count ((size_t) juce::jmax (0, details.updates), "with an update", "with updates")
                 + ", " + unused + ".";
        case ScanDetails::UpdateCheck::notChecked:
        case ScanDetails::UpdateCheck::noReply:
            return "Last scan: " + kept + ", updates not checked, " + unused + ".";
        case ScanDetails::UpdateCheck::refused:
            return "Last scan: " + kept + ", refused by the update service, " + unused + ".";
    }

    return {};
}
}
