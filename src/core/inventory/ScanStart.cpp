#include "core/inventory/ScanStart.h"

namespace ScanStart
{
bool isProfileComplete (const SettingsStore& settings)
{
    const auto profile = settings.loadProfile();

    return profile->getStringAttribute ("Email").isNotEmpty()
        && profile->getStringAttribute ("Password").isNotEmpty()
        && profile->getStringAttribute ("MachineName").isNotEmpty();
}

AlertRequest makeProfileMissingAlert()
{
    return { "Profile Preferences Missing",
             "You need to fill out all fields of your profile in the Preferences dialog.",
             AlertIcon::warning,
             { { "Take me there...", takeMeThereResult, AlertKey::returnKey } } };
}

juce::String formatName (int formatNumber)
{
    switch (formatNumber)
    {
        case 1:  return "AU";
        case 2:  return "VST";
        case 3:  return "RTAS/TDM";
        case 4:  return "AAX";
        default: return {};
    }
}

Folders readFolders (const SettingsStore& settings)
{
    const auto paths = settings.loadPaths();
    Folders result;

    for (int row = 1; row <= 10; ++row)
    {
        const juce::String n (row);
        const auto path = paths->getStringAttribute ("path" + n);

        if (path.isEmpty() || ! paths->getBoolAttribute ("scanToggle" + n))
            continue;

        // The absolute form of the path; a relative one is taken from the
        // working folder, as JUCE would.
        const auto folder = juce::File::isAbsolutePath (path) ? juce::File (path)
                                                               : juce::File::getCurrentWorkingDirectory().getChildFile (path);
        result.folders.add (folder.getFullPathName());
        result.formats.add (formatName (paths->getIntAttribute ("pathFormat" + n)));
    }

    return result;
}

juce::File prepareFiles (const SettingsStore& settings, const juce::String& machineName)
{
    const auto inventory = settings.getMachineFile (machineName, SettingsStore::inventorySuffix);
    const auto unknownPlugins = settings.getMachineFile (machineName, SettingsStore::unknownPluginsSuffix);

    if (inventory == juce::File())
        return {};   // an unsafe machine name names no file

    if (! inventory.exists())
        inventory.create();

    if (unknownPlugins.existsAsFile())
        unknownPlugins.deleteFile();

    unknownPlugins.create();
    return inventory;
}
}
