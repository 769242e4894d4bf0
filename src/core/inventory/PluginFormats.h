#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/** The plug-in formats of a folder row and what the walk reads for each.
    On Windows every format is a PE file with a version resource; they differ
    in how they are named and packaged:
    - "VST" (and every format the walk does not know): "*.dll" files;
    - "VST3": "*.vst3" files, and bundles (folders named "*.vst3") whose
      binary is Contents/x86_64-win/NAME.vst3, else Contents/x86-win/NAME.vst3;
    - "CLAP": "*.clap" files;
    - "AAX": bundles (folders named "*.aaxplugin") whose binary is
      Contents/x64/NAME.aaxplugin, else Contents/Win32/NAME.aaxplugin.
    A bundle is one plug-in, listed by the bundle's folder; the walk never
    looks inside it for others.
*/
namespace PluginFormats
{
    inline constexpr int au = 1, vst = 2, rtasTdm = 3, aax = 4, vst3 = 5, clap = 6;

    /** The ids the format box offers, in its order. */
    inline constexpr int allIds[] { au, vst, rtasTdm, aax, vst3, clap };

    /** 1 "AU", 2 "VST", 3 "RTAS/TDM", 4 "AAX", 5 "VST3", 6 "CLAP", anything else "". */
    juce::String name (int id);

    /** Whether a row may be set to the format: VST, AAX, VST3 and CLAP. */
    bool isEnabled (int id);

    /** The format a row shows for its stored id: the stored one when it is
        enabled, VST otherwise.
    */
    int shownId (int storedId);

    /** A plug-in the walk found: the file to read, and the path it is listed by. */
    struct Found
    {
        juce::File binary;     // juce::File() for a bundle without a binary
        juce::File listedAs;
        bool isBundle = false;
    };

    /** What a directory entry of a walk for the format (its name, as in
        name()) is: a plug-in, a bundle (whose contents the walk skips), or
        nothing (std::nullopt).
    */
    std::optional<Found> find (const juce::String& formatName, const juce::File& entry, bool isDirectory);
}
