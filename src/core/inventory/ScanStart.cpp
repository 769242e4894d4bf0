#include "core/inventory/ScanStart.h"

#include "core/inventory/PluginFormats.h"
#include "core/settings/MachineNameRule.h"

namespace
{
    /** What a write cut short leaves behind: files are written whole into a
        temporary sibling, "<name>_temp<hex>.<extension>", which replaces the
        file only once it is complete.
    */
    bool isLeftoverOfAWrite (const juce::File& file)
    {
        const auto name = file.getFileNameWithoutExtension();
        const auto marker = name.lastIndexOf ("_temp");

        if (marker <= 0)
            return false;

        const auto hex = name.substring (marker + 5);
        return hex.isNotEmpty() && hex.length() <= 8 && hex.containsOnly ("0123456789abcdef");
    }

    /** Removes the leftovers of writes that a killed program or a power cut
        never finished. One still being written (a settings page saving at
        this moment) is only milliseconds old, so only older ones go.
    */
    void removeLeftoversOfWrites (const juce::File& folder)
    {
        const auto before = juce::Time::getCurrentTime() - juce::RelativeTime::minutes (10);

        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*_temp*", juce::File::findFiles))
            if (isLeftoverOfAWrite (entry.getFile()) && entry.getModificationTime() < before)
                entry.getFile().deleteFile();
    }
}

namespace ScanStart
{
Decision decide (const SettingsStore& settings)
{
    Decision decision;

    if (! isProfileComplete (settings))
    {
        decision.kind = Decision::Kind::profileMissing;
        decision.alert = makeProfileMissingAlert();

        // Someone who never saved a profile may have no account yet, which
        // the Profile page cannot make: the first-run splash offers sign-up.
        decision.offersSignUp = settings.isNewUser();
        return decision;
    }

    // A name that would lead out of the data folder stops the scan before any file is touched.
    decision.machineName = settings.getMachineName();

    if (! MachineNameRule::isSafe (decision.machineName))
    {
        decision.kind = Decision::Kind::refused;
        decision.alert = MachineNameRule::makeRefusalAlert();
        return decision;
    }

    decision.kind = Decision::Kind::scan;
    decision.folders = readFolders (settings);
    return decision;
}

bool isProfileComplete (const SettingsStore& settings)
{
    return settings.isProfileComplete();
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
    return PluginFormats::name (formatNumber);
}

Folders readFolders (const SettingsStore& settings)
{
    Folders result;

    for (const auto& row : settings.readScanFolders().rows)
    {
        const auto& path = row.folder;

        if (path.isEmpty() || ! row.scan)
            continue;

        // The absolute form of the path; a relative one is taken from the
        // working folder, as JUCE would.
        const auto folder = juce::File::isAbsolutePath (path) ? juce::File (path)
                                                               : juce::File::getCurrentWorkingDirectory().getChildFile (path);
        result.folders.add (folder.getFullPathName());
        result.formats.add (formatName (row.formatId));
    }

    return result;
}

juce::File prepareFiles (const SettingsStore& settings, const juce::String& machineName)
{
    const auto inventory = settings.getMachineFile (machineName, SettingsStore::inventorySuffix);
    const auto unknownPlugins = settings.getMachineFile (machineName, SettingsStore::unknownPluginsSuffix);

    if (inventory == juce::File())
        return {};   // an unsafe machine name names no file

    removeLeftoversOfWrites (settings.getDataFolder());

    if (! inventory.exists())
        inventory.create();

    if (unknownPlugins.existsAsFile())
        unknownPlugins.deleteFile();

    unknownPlugins.create();
    return inventory;
}
}
