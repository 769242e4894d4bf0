#pragma once

#include "core/tables/ScanDetails.h"
#include "core/tables/PluginRow.h"

#include <optional>

/** What the tables tell beside their rows: why a table is empty, and what
    the last scan came to.
*/
namespace TableNotes
{
    struct Facts
    {
        PluginListKind kind = PluginListKind::inventory;
        bool fileHasData = false;          ///< the table's file is there and parsed (it may have no rows)
        juce::String refusal;              ///< the update list is the service's refusal: its title and text
        std::optional<ScanDetails::UpdateCheck> lastScan;   ///< from the scan details, when there are any
        juce::String serviceMessage;       ///< the scan details' message of a refusal
        int totalRows = 0;                 ///< rows in the file
        int shownRows = 0;                 ///< rows left after the filter and the ignored updates
        juce::String filterText;
    };

    /** What a table without rows says in its empty area, so that the user
        knows why: no scan yet, results cleared at start, the service
        unreachable or refusing, a filter or the ignored updates hiding every
        row. "" while rows are shown.
    */
    juce::String whyEmpty (const Facts& facts);

    /** The status line of the last scan: how many plug-ins it kept, how many
        have updates and how many files it did not recognise ("" when the
        results were cleared).
    */
    juce::String lastScanLine (const ScanDetails& details);
}
