#pragma once

#include "core/platform/DesktopServices.h"
#include "core/settings/SettingsStore.h"
#include "core/tables/PluginRow.h"

#include <vector>

/** What one machine holds: its plug-ins (inventory rows) and the service's
    update list for them (update-list rows).
*/
struct MachineSnapshot
{
    juce::String machineName;
    std::vector<PluginRow> plugins;
    std::vector<PluginRow> updates;
};

/** Reads a machine profile that MachineExport wrote, on this machine or another. */
namespace MachineImport
{
    /** Larger files are refused without being read. */
    inline constexpr juce::int64 maxFileBytes = 256 * 1024 * 1024;

    enum class Problem
    {
        none,
        unreadable,    ///< missing, not a regular file, or a read failed
        tooLarge,      ///< above maxFileBytes
        notAnExport,   ///< well-formed XML of another kind
        damaged,       ///< not well-formed, cut short, refused by SafeXml, or lacking its parts
        newerFormat    ///< written by a later version of the program
    };

    struct Result
    {
        Problem problem = Problem::none;
        MachineSnapshot snapshot;   ///< empty unless problem is none
    };

    /** Reads an export file; the file is untrusted. Any thread. */
    Result read (const juce::File& file);

    /** This machine's inventory and update list as they are stored now; a file
        that is missing or cannot be read gives no rows. Any thread.
    */
    MachineSnapshot thisMachine (const SettingsStore& settings, const juce::String& machineName);

    /** What to tell the user about a file that could not be imported; none
        gives a request without title or buttons.
    */
    AlertRequest makeAlert (Problem problem, const juce::File& file);
}
