#pragma once

#include <juce_core/juce_core.h>

/** What a plug-in file declares in its version resource, as the inventory
    records it: each 8-bit value read byte by byte as the character of the
    same code, and the version as read, before cleaning.
*/
struct PluginFileInfo
{
    juce::String name, version, vendor;
    juce::String error;          // "", problemRetrievingInformation or noVersionInformation
    juce::uint64 bytesRead = 0;  // how much of the file was read to find out (on Windows: the version block's size)

    static constexpr const char* problemRetrievingInformation = "Problem retrieving information";
    static constexpr const char* noVersionInformation = "No version information supplied.";

    /** Reads the version resource of a file whose size is known from listing
        its folder. Never throws; a file that cannot be read, or has no usable
        resource, gives noVersionInformation. Any thread.
    */
    static PluginFileInfo read (const juce::File& file, juce::int64 knownSize);
};

/** The text whose characters have the codes of the given bytes (Latin-1). */
juce::String stringFromLatin1 (const std::string& bytes);
