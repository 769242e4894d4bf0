#pragma once

#include "core/settings/PasswordCipher.h"
#include "core/settings/Profile.h"
#include "core/settings/ScanFolders.h"

#include <juce_core/juce_core.h>

/** The data folder and the settings files in it.

    Every part that needs a setting asks the store for it at the moment it
    needs it: nothing is cached between uses, so each read sees the file as it
    is on disk. The settings come as typed values (Profile, ScanFolders); the
    store alone knows how the files hold them.

    Profile.xml holds MachineName, Email and the enciphered Password; Paths.xml
    holds path1..path10, pathFormat1..pathFormat10 and scanToggle1..scanToggle10.
    While a live file is missing its defaults file stands in for it.

    The application owns one store and hands it to every part that needs a
    setting. It keeps nothing but the folder and the cipher, so one object may
    be used from several threads at once.
*/
class SettingsStore
{
public:
    /** Uses the given data folder: it is created when missing (a failure is not
        reported); no file is created.
    */
    explicit SettingsStore (const juce::File& dataFolder);

    /** The application's data folder: "Cobaltline" in the user's application-data directory. */
    static juce::File getDefaultDataFolder();

    const juce::File& getDataFolder() const noexcept    { return dataFolder; }
    const juce::File& getProfileFile() const noexcept   { return profileFile; }
    const juce::File& getPathsFile() const noexcept     { return pathsFile; }

    /** Creates Defaults_Profile.xml and Defaults_Paths.xml, each only when it is
        missing; existing files are never rewritten.
    */
    void writeDefaults() const;

    /** The profile as the files hold it now, its password deciphered (an
        undecipherable one reads as ""). A file that is missing, too large or
        does not parse reads as an empty profile.
    */
    Profile readProfile() const;

    /** Replaces Profile.xml whole: MachineName, Email and Password (enciphered),
        in that order. A password that equals what the file's stored form
        deciphers to keeps that stored form as it is. False on failure.
    */
    bool writeProfile (const Profile& profile) const;

    /** True when the profile's e-mail address, password and machine name are
        all filled in. The stored password is only tested for being there:
        whether it deciphers is for the service to find out.
    */
    bool isProfileComplete() const;

    /** True while no profile was ever saved (there is no Profile.xml): the
        user may have no account yet.
    */
    bool isNewUser() const                              { return ! profileFile.exists(); }

    /** The profile's machine name ("" when there is none). */
    juce::String getMachineName() const;

    /** The folder rows as the files hold them now. Rows the file leaves out,
        and every row of a file that cannot be read, are empty. A tick reads
        as on for "1", "true", "yes" and the like (JUCE's reading of a bool).
    */
    ScanFolders readScanFolders() const;

    /** Replaces Paths.xml whole with the ten rows: path, pathFormat (a
        number) and scanToggle ("1" or "0") of each, row 1 first. False on
        failure.
    */
    bool writeScanFolders (const ScanFolders& folders) const;

    /** The documents as they are stored, freshly parsed and owned by the
        caller, for whoever needs the file itself (tests, tools). Never
        nullptr: a file that is missing, too large or does not parse gives an
        empty "CobaltlineProfile" or "CobaltlinePaths" element.
    */
    std::unique_ptr<juce::XmlElement> loadProfile() const;
    std::unique_ptr<juce::XmlElement> loadPaths() const;

    /** A per-machine file in the data folder: the profile's current MachineName
        followed by the suffix, e.g. inventorySuffix. A machine name that is not
        safe (MachineNameRule) gives juce::File(), never a file outside the
        data folder: it cannot be opened, created or written.
    */
    juce::File getMachineFile (const juce::String& suffix) const;

    /** The per-machine file of the given machine name (juce::File() for an unsafe one). */
    juce::File getMachineFile (const juce::String& machineName, const juce::String& suffix) const;

    juce::String encipherPassword (const juce::String& password) const  { return cipher.encipherPassword (password); }
    juce::String decipherPassword (const juce::String& storedForm) const { return cipher.decipherPassword (storedForm); }

    /** Replaces a file whole with the document (temporary file, then rename),
        with the XML declaration naming UTF-8 and no DTD. False on failure.
    */
    static bool writeDocument (const juce::XmlElement& document, const juce::File& file);

    static constexpr const char* profileTag   = "CobaltlineProfile";
    static constexpr const char* pathsTag     = "CobaltlinePaths";
    static constexpr const char* inventorySuffix      = "_PluginList.xml";
    static constexpr const char* unknownPluginsSuffix = "_UnknownPlugins.txt";
    static constexpr const char* updateListSuffix     = "_CobaltlineList.xml";
    static constexpr const char* scanDetailsSuffix    = "_ScanDetails.xml";

    /** Settings files larger than this are treated as unparsable. */
    static constexpr juce::int64 maxSettingsFileBytes = 1024 * 1024;

private:
    std::unique_ptr<juce::XmlElement> load (const juce::File& liveFile,
                                            const juce::File& defaultsFile,
                                            const char* tag) const;
    void createDataFolder() const;

    juce::File dataFolder;
    juce::File profileFile, pathsFile, defaultProfileFile, defaultPathsFile;
    PasswordCipher cipher;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsStore)
};
