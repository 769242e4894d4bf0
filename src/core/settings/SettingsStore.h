#pragma once

#include "core/settings/PasswordCipher.h"

#include <juce_core/juce_core.h>

/** The data folder and the settings files in it.

    Every part that needs a setting owns a SettingsStore and asks it for the
    current document at the moment it needs a value: nothing is cached between
    uses, so each read sees the file as it is on disk.

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

    /** A freshly parsed profile document, owned by the caller.

        Falls back to the defaults file while Profile.xml is missing. Never
        nullptr: a file that is missing, too large or does not parse gives an
        empty "CobaltlineProfile" element, whose attributes all read as missing.
    */
    std::unique_ptr<juce::XmlElement> loadProfile() const;

    /** Like loadProfile(), for Paths.xml ("CobaltlinePaths"). */
    std::unique_ptr<juce::XmlElement> loadPaths() const;

    /** One attribute of the current profile ("" when missing). */
    juce::String getProfileValue (const juce::String& attributeName) const;

    /** A per-machine file in the data folder: the profile's current MachineName
        followed by the suffix, e.g. inventorySuffix. A machine name that is not
        safe (MachineNameRule) gives juce::File(), never a file outside the
        data folder: it cannot be opened, created or written.
    */
    juce::File getMachineFile (const juce::String& suffix) const;

    /** The per-machine file of the given machine name (juce::File() for an unsafe one). */
    juce::File getMachineFile (const juce::String& machineName, const juce::String& suffix) const;

    /** A profile document as it is stored: MachineName, Email and Password (the
        password enciphered) in that order. Owned by the caller.
    */
    std::unique_ptr<juce::XmlElement> makeProfile (const juce::String& machineName, const juce::String& email,
                                                   const juce::String& password) const;

    /** The same, with a password that is stored already (enciphered), kept as it is. */
    static std::unique_ptr<juce::XmlElement> makeStoredProfile (const juce::String& machineName, const juce::String& email,
                                                                const juce::String& storedPassword);

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
