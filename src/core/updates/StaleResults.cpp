#include "core/updates/StaleResults.h"

namespace StaleResults
{
void purge (const SettingsStore& settings, juce::Time now)
{
    // Both names from one reading of the profile.
    const auto machineName = settings.getMachineName();
    const auto updateList = settings.getMachineFile (machineName, SettingsStore::updateListSuffix);
    const auto inventory = settings.getMachineFile (machineName, SettingsStore::inventorySuffix);

    if (! updateList.existsAsFile())
        return;

    const auto age = now - updateList.getLastModificationTime();

    if (age.inMilliseconds() < maxAgeSeconds * 1000)
        return;

    updateList.deleteFile();

    if (inventory.existsAsFile())
        inventory.deleteFile();
}
}
