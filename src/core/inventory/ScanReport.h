#pragma once

#include "core/settings/SettingsStore.h"

#include <vector>

/** What a finished scan found, read back from the files it wrote: the
    inventory, the unknown-plug-ins list and the service's update list. The
    console scanner prints it; any thread.
*/
namespace ScanReport
{
    struct Summary
    {
        int kept = 0;             // plug-ins in the inventory
        int notRecognised = 0;    // files listed as unknown plug-ins
        int updates = 0;          // rows of the update list
    };

    Summary summarise (const SettingsStore& settings, const juce::String& machineName);

    /** For each folder, how many plug-ins of the inventory lie in it (or below
        it); the inventory is read once.
    */
    std::vector<int> countIn (const SettingsStore& settings, const juce::String& machineName,
                              const juce::StringArray& folders);

    /** One JSON document: "machine", the machine profile's attributes, and
        "plugins", each plug-in of the inventory with its name, vendor, format,
        installedVersion, latestVersion, website and path; the latest version
        and web site come from the update list's row for the same plug-in
        (name, vendor and format), and are "" where it has none.
    */
    juce::String toJson (const SettingsStore& settings, const juce::String& machineName);
}
