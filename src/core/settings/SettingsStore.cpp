#include "core/settings/SettingsStore.h"

#include "core/settings/MachineNameRule.h"
#include "core/xml/SafeXml.h"

namespace
{
    // Rows 1 to 6 are left out: a missing row reads as an unused one.
    std::unique_ptr<juce::XmlElement> makeDefaultPaths()
    {
        auto paths = std::make_unique<juce::XmlElement> (SettingsStore::pathsTag);

        for (int row = 7; row <= 10; ++row)
        {
            const juce::String n (row);
            paths->setAttribute ("path" + n, juce::String());
            paths->setAttribute ("pathFormat" + n, "0");
            paths->setAttribute ("scanToggle" + n, "false");
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
        writeDocument (*makeProfile ({}, {}, {}), defaultProfileFile);

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

std::unique_ptr<juce::XmlElement> SettingsStore::makeProfile (const juce::String& machineName, const juce::String& email,
                                                             const juce::String& password) const
{
    return makeStoredProfile (machineName, email, encipherPassword (password));
}

std::unique_ptr<juce::XmlElement> SettingsStore::makeStoredProfile (const juce::String& machineName, const juce::String& email,
                                                                   const juce::String& storedPassword)
{
    auto profile = std::make_unique<juce::XmlElement> (profileTag);
    profile->setAttribute ("MachineName", machineName);
    profile->setAttribute ("Email", email);
    profile->setAttribute ("Password", storedPassword);
    return profile;
}

juce::String SettingsStore::getProfileValue (const juce::String& attributeName) const
{
    return loadProfile()->getStringAttribute (attributeName);
}

juce::File SettingsStore::getMachineFile (const juce::String& suffix) const
{
    return getMachineFile (getProfileValue ("MachineName"), suffix);
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
