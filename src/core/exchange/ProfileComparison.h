#pragma once

#include "core/exchange/MachineImport.h"

#include <array>
#include <vector>

/** Sets the plug-ins of this machine beside those of another. */
namespace ProfileComparison
{
    enum class Group
    {
        missingHere,    ///< only the other machine has it
        missingThere,   ///< only this machine has it
        olderHere,
        newerHere,
        same
    };

    /** "Missing here", "Missing there", "Older here", "Newer here" or "Same". */
    juce::String nameOf (Group group);

    struct Result
    {
        std::vector<PluginRow> rows;
        std::array<int, 5> counts {};   ///< rows per Group, indexed by its value
    };

    /** One row per plug-in of either machine, in the order of their keys.

        A plug-in is known by its name, vendor and format, compared with only
        the ASCII letters folded in case; where a machine holds it more than
        once its highest version counts. A row is spelled as this machine has
        it (else as the other), with this machine's version as installedVersion,
        the other's as latestVersion, the group's name as remark, the path of
        this machine's copy (else the other's) and the first non-empty web
        site of a matching update row, this machine's first. Any thread.
    */
    Result compare (const MachineSnapshot& here, const MachineSnapshot& there);

    /** An export read and set beside this machine's current scan results. */
    struct Imported
    {
        MachineImport::Problem problem = MachineImport::Problem::none;
        juce::String otherMachineName;
        Result comparison;   ///< when there was no problem
    };

    /** Reads the export and compares it with the scan results of the
        profile's machine; writes nothing. Any thread.
    */
    Imported importAndCompare (const juce::File& exportFile, const SettingsStore& settings);
}
