#include "core/inventory/PluginFormats.h"

namespace
{
    /** The binary of a bundle: NAME + extension in the first architecture
        folder that holds one.
    */
    juce::File bundleBinary (const juce::File& bundle, std::initializer_list<const char*> architectures)
    {
        for (const auto* architecture : architectures)
        {
            const auto binary = bundle.getChildFile ("Contents").getChildFile (architecture).getChildFile (bundle.getFileName());

            if (binary.existsAsFile())
                return binary;
        }

        return {};
    }
}

namespace PluginFormats
{
juce::String name (int id)
{
    switch (id)
    {
        case au:      return "AU";
        case vst:     return "VST";
        case rtasTdm: return "RTAS/TDM";
        case aax:     return "AAX";
        case vst3:    return "VST3";
        case clap:    return "CLAP";
        default:      return {};
    }
}

bool isEnabled (int id)
{
    return id == vst || id == aax || id == vst3 || id == clap;
}

int shownId (int storedId)
{
    return isEnabled (storedId) ? storedId : vst;
}

std::optional<Found> find (const juce::String& formatName, const juce::File& entry, bool isDirectory)
{
    // Extensions are compared without regard to case, as Windows names them.
    const auto hasExtension = [&entry] (const char* extension) { return entry.getFileExtension().equalsIgnoreCase (extension); };

    if (formatName == name (vst3))
    {
        if (! hasExtension (".vst3"))
            return std::nullopt;

        if (! isDirectory)
            return Found { entry, entry, false };

        return Found { bundleBinary (entry, { "x86_64-win", "x86-win" }), entry, true };
    }

    if (formatName == name (clap))
    {
        if (isDirectory || ! hasExtension (".clap"))
            return std::nullopt;

        return Found { entry, entry, false };
    }

    if (formatName == name (aax))
    {
        if (! isDirectory || ! hasExtension (".aaxplugin"))
            return std::nullopt;

        return Found { bundleBinary (entry, { "x64", "Win32" }), entry, true };
    }

    if (isDirectory || ! hasExtension (".dll"))
        return std::nullopt;

    return Found { entry, entry, false };
}
}
