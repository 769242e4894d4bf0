#include "core/settings/SettingsStore.h"

#include "core/settings/MachineNameRule.h"
#include "core/xml/SafeXml.h"

namespace
{
    // How the files name what they hold.
    const juce::Identifier machineNameAttribute ("MachineName");
    const juce::Identifier emailAttribute ("Email");
    const juce::Identifier passwordAttribute ("Password");

    juce::String pathAttribute (int row)        { return "path" + juce::String (row); }
    juce::String formatAttribute (int row)      { return "pathFormat" + juce::String (row); }
    juce::String scanToggleAttribute (int row)  { return "scanToggle" + juce::String (row); }

    std::unique_ptr<juce::XmlElement> makeStoredProfile (const juce::String& machineName, const juce::String& email,
                                                         const juce::String& storedPassword)
    {
        auto profile = std::make_unique<juce::XmlElement> (SettingsStore::profileTag);
        profile->setAttribute (machineNameAttribute, machineName);
        profile->setAttribute (emailAttribute, email);
        profile->setAttribute (passwordAttribute, storedPassword);
        return profile;
    }

    // Rows 1 to 6 are left out: a missing row reads as an unused one.
    std::unique_ptr<juce::XmlElement> makeDefaultPaths()
    {
        auto paths = std::make_unique<juce::XmlElement> (SettingsStore::pathsTag);

        for (int row = 7; row <= ScanFolders::numRows; ++row)
        {
            paths->setAttribute (pathAttribute (row), juce::String());
            paths->setAttribute (formatAttribute (row), "0");
            paths->setAttribute (scanToggleAttribute (row), "false");
        }

        return paths;
    }
}

juce::File SettingsStore::getDefaultDataFolder()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getChildFile ("Cobaltline");
}

SettingsStore::SettingsStore (const juce::File& folder)
    : dataFolder (folder),
      profileFile (folder.getChildFile ("Profile.xml")),
      pathsFile (folder.getChildFile ("Paths.xml")),
      defaultProfileFile (folder.getChildFile ("Defaults_Profile.xml")),
      defaultPathsFile (folder.getChildFile ("Defaults_Paths.xml"))
{
    createDataFolder();
}

void SettingsStore::createDataFolder() const
{
    if (! dataFolder.isDirectory())
        dataFolder.createDirectory();
}

void SettingsStore::writeDefaults() const
{
    if (! defaultProfileFile.exists())
        writeDocument (*makeStoredProfile ({}, {}, {}), defaultProfileFile);

    if (! defaultPathsFile.exists())
        writeDocument (*makeDefaultPaths(), defaultPathsFile);
}

std::unique_ptr<juce::XmlElement> SettingsStore::loadProfile() const
{
    return load (profileFile, defaultProfileFile, profileTag);
}

std::unique_ptr<juce::XmlElement> SettingsStore::loadPaths() const
{
    return load (pathsFile, defaultPathsFile, pathsTag);
}

std::unique_ptr<juce::XmlElement> SettingsStore::load (const juce::File& liveFile,
                                                       const juce::File& defaultsFile,
                                                       const char* tag) const
{
    createDataFolder();

    if (! defaultsFile.exists())
        writeDefaults();

    const auto& source = liveFile.exists() ? liveFile : defaultsFile;

    if (auto document = SafeXml::parseFile (source, maxSettingsFileBytes))
        return document;

    return std::make_unique<juce::XmlElement> (tag);
}

Profile SettingsStore::readProfile() const
{
    const auto document = loadProfile();

    return { document->getStringAttribute (machineNameAttribute),
             document->getStringAttribute (emailAttribute),
             decipherPassword (document->getStringAttribute (passwordAttribute)) };
}

bool SettingsStore::writeProfile (const Profile& profile) const
{
    // Writing back what was read leaves the file as it was, byte for byte,
    // even where the stored password does not decipher.
    auto storedPassword = loadProfile()->getStringAttribute (passwordAttribute);

    if (decipherPassword (storedPassword) != profile.password)
        storedPassword = encipherPassword (profile.password);

    return writeDocument (*makeStoredProfile (profile.machineName, profile.email, storedPassword), profileFile);
}

bool SettingsStore::isProfileComplete() const
{
    const auto document = loadProfile();

    return document->getStringAttribute (emailAttribute).isNotEmpty()
        && document->getStringAttribute (passwordAttribute).isNotEmpty()
        && document->getStringAttribute (machineNameAttribute).isNotEmpty();
}

juce::String SettingsStore::getMachineName() const
{
    return loadProfile()->getStringAttribute (machineNameAttribute);
}

ScanFolders SettingsStore::readScanFolders() const
{
    const auto document = loadPaths();
    ScanFolders folders;

    for (int row = 1; row <= ScanFolders::numRows; ++row)
    {
        auto& folder = folders.rows[(size_t) row - 1];
        folder.folder = document->getStringAttribute (pathAttribute (row));
        folder.formatId = document->getIntAttribute (formatAttribute (row));
        folder.scan = document->getBoolAttribute (scanToggleAttribute (row));
    }

    return folders;
}

bool SettingsStore::writeScanFolders (const ScanFolders& folders) const
{
    juce::XmlElement document (pathsTag);

    for (int row = 1; row <= ScanFolders::numRows; ++row)
    {
        const auto& folder = folders.rows[(size_t) row - 1];
        document.setAttribute (pathAttribute (row), folder.folder);
        document.setAttribute (formatAttribute (row), folder.formatId);
        document.setAttribute (scanToggleAttribute (row), folder.scan ? "1" : "0");
    }

    return writeDocument (document, pathsFile);
}

juce::File SettingsStore::getMachineFile (const juce::String& suffix) const
{
    return getMachineFile (getMachineName(), suffix);
}

juce::File SettingsStore::getMachineFile (const juce::String& machineName, const juce::String& suffix) const
{
    if (! MachineNameRule::isSafe (machineName))
        return {};

    // Whatever the platform makes of the name, the file is in the data folder or nowhere.
    const auto file = dataFolder.getChildFile (machineName + suffix);
    return file.getParentDirectory() == dataFolder ? file : juce::File();
}

bool SettingsStore::writeDocument (const juce::XmlElement& document, const juce::File& file)
{
    // JUCE would make the temporary file of an empty path in the root folder.
    if (file == juce::File())
        return false;

    return document.writeTo (file, {});
}
