#pragma once

#include "core/platform/DesktopServices.h"
#include "core/settings/SettingsStore.h"
#include "core/tables/PluginRow.h"

#include <vector>

/** Saves one machine's scan results to a file the user chose, to keep or to
    compare with another machine: a Cobaltline machine profile (read back by
    MachineImport), a CSV table for spreadsheets, or the console scanner's
    JSON document.
*/
namespace MachineExport
{
    enum class Kind
    {
        cobaltline,   ///< ".cobaltline": the inventory and the update list, as XML
        csv,          ///< ".csv": one row per plug-in
        json          ///< ".json": ScanReport::toJson's document
    };

    /** The kind the file's extension names, in any letter case; cobaltline for any other name. */
    Kind kindOf (const juce::File& target);

    /** The chosen file, with ".cobaltline" added when its name ends in none of
        the three extensions.
    */
    juce::File withExtension (const juce::File& chosen);

    /** Whether the machine has scan results to export: an inventory file
        that is not empty (whether it parses is found out by exportTo).
    */
    bool hasResults (const SettingsStore& settings, const juce::String& machineName);

    /** The file the save chooser suggests in the folder: the machine's name
        made safe for a file name ("Machine Profile" without one), ".cobaltline".
    */
    juce::File suggestedFile (const juce::File& folder, const juce::String& machineName);

    /** Asked before an existing file is replaced whose name the chooser did
        not show (the ending was added to the name chosen): "Replace" is 1.
    */
    AlertRequest makeReplaceAlert (const juce::File& target);

    /** What a file chooser offers. */
    inline constexpr const char* filePatterns = "*.cobaltline;*.csv;*.json";

    enum class Outcome
    {
        written,
        nothingToExport,   ///< the machine has no readable inventory; the target was not touched
        notWritten         ///< the file could not be written; an existing one is as it was
    };

    /** Writes the machine's results to the target, in the kind its name gives.
        The file is replaced whole (a temporary file beside it, then renamed)
        or not at all. Any thread.
    */
    Outcome exportTo (const SettingsStore& settings, const juce::String& machineName, const juce::File& target);

    /** What to tell the user about a failed export. A written file needs no
        alert: that gives a request without title or buttons.
    */
    AlertRequest makeAlert (Outcome outcome, const juce::File& target);

    /** One cell of a CSV row: a text a spreadsheet would take for a formula
        (beginning with "=", "+", "-", "@", a tab or a carriage return) gets a
        leading apostrophe, then a cell holding a comma, a quote, CR or LF is
        quoted, its quotes doubled.
    */
    juce::String csvCell (const juce::String& text);

    /** The CSV table (without the byte-order mark): a header row, then one row
        per inventory plug-in, each line ended by CR LF. The latest version and
        web site come from the first update row with the same name, vendor and
        format.
    */
    juce::String toCsv (const std::vector<PluginRow>& inventory, const std::vector<PluginRow>& updates);
}
