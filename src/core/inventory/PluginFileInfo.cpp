#include "core/inventory/PluginFileInfo.h"

#include "pe/PeVersionReader.h"

namespace
{
    PluginFileInfo readFrom (pe::FileSource& source)
    {
        const auto strings = source.isOpen() ? pe::readVersionStrings (source) : pe::VersionStrings {};

        PluginFileInfo info;
        info.name = stringFromLatin1 (strings.name);
        info.version = stringFromLatin1 (strings.version);
        info.vendor = stringFromLatin1 (strings.vendor);
        info.bytesRead = source.bytesRead();

        switch (strings.status)
        {
            case pe::VersionStatus::complete:       break;
            case pe::VersionStatus::incomplete:     info.error = PluginFileInfo::problemRetrievingInformation; break;
            case pe::VersionStatus::noVersionInfo:  info.error = PluginFileInfo::noVersionInformation; break;
        }

        return info;
    }
}

juce::String stringFromLatin1 (const std::string& bytes)
{
    std::vector<juce::juce_wchar> characters (bytes.size() + 1, 0);
    std::transform (bytes.begin(), bytes.end(), characters.begin(),
                    [] (char byte) { return (juce::juce_wchar) (unsigned char) byte; });
    return juce::String (juce::CharPointer_UTF32 (characters.data()));
}

PluginFileInfo PluginFileInfo::read (const juce::File& file, juce::int64 knownSize)
{
    pe::FileSource source (file.getFullPathName().toStdString(), (std::uint64_t) juce::jmax ((juce::int64) 0, knownSize));
    return readFrom (source);
}
