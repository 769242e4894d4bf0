#pragma once

#include "core/platform/DesktopServices.h"
#include "core/settings/SettingsStore.h"

/** What the "Scan" button works out before a scan runs: whether the profile
    is complete, which folders to walk with which format, and the files the
    scan writes. Any thread; each call reads the settings files afresh.
*/
namespace ScanStart
{
    /** What a scan walks: the enabled folders, each with its format's name,
        and the machine it scans for.
    */
    struct Folders
    {
        juce::StringArray folders, formats;
    };

    /** What the "Scan" button does, worked out from the settings. */
    struct Decision
    {
        enum class Kind
        {
            scan,             // check the connection, then scan with machineName and folders
            profileMissing,   // show alert; on takeMeThereResult open the sign-up splash or the Profile page
            refused           // show alert, and nothing else
        };

        Kind kind = Kind::refused;
        AlertRequest alert;
        bool offersSignUp = false;    // profileMissing: no profile was ever saved, so no account may exist
        juce::String machineName;     // scan
        Folders folders;              // scan
    };

    /** The decision for a press of "Scan" now: an incomplete profile gives
        the profile alert, a machine name that would lead out of the data
        folder the refusal, and anything else a scan. No file is touched.
    */
    Decision decide (const SettingsStore& settings);

    /** True when Email, Password (stored form) and MachineName are all filled in. */
    bool isProfileComplete (const SettingsStore& settings);

    /** The alert for an incomplete profile: "Take me there..." answers 1
        (also Return); Escape closes it with 0.
    */
    AlertRequest makeProfileMissingAlert();

    inline constexpr int takeMeThereResult = 1;

    /** The enabled rows of Paths.xml, 1 to 10 in order: a row counts when its
        path is not empty and its scan toggle reads true; its folder is the
        path's absolute form, its format the name of its format number.
    */
    Folders readFolders (const SettingsStore& settings);

    /** The name of a format number (PluginFormats::name). */
    juce::String formatName (int formatNumber);

    /** Readies the machine's files for a scan: the inventory is created when
        missing (an existing one is kept until the scan rewrites it), the
        unknown-plug-ins file is emptied, and the temporary files of writes
        that never finished (the program was killed) are removed from the
        data folder once they are ten minutes old. Called with the scan lock
        held. Returns the inventory file, or
        juce::File() (and nothing is touched) for an unsafe machine name.
        Failures are left for the scan to report.
    */
    juce::File prepareFiles (const SettingsStore& settings, const juce::String& machineName);
}
