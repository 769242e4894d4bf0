#include "core/updates/StaleResults.h"

#include "core/tables/ScanDetails.h"

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

    const auto deleted = updateList.deleteFile();

    if (inventory.existsAsFile())
        inventory.deleteFile();

    if (! deleted)
        return;

    // The scan details say why the tables are empty now.
    ScanDetails cleared;
    cleared.updateCheck = ScanDetails::UpdateCheck::cleared;
    cleared.writeTo (settings.getMachineFile (machineName, SettingsStore::scanDetailsSuffix));
}
}
