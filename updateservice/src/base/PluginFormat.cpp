#include "base/PluginFormat.h"

#include "base/Utf8.h"

namespace
{
    constexpr std::string_view listableKeys[] { "vst", "vst3", "clap", "aax", "au", "rtas/tdm" };
}

std::string PluginFormat::key (std::string_view format)
{
    return format.empty() ? std::string ("vst") : Utf8::asciiLower (format);
}

bool PluginFormat::isListable (std::string_view format)
{
    const auto formatKey = key (format);

    for (const auto listable : listableKeys)
        if (formatKey == listable)
            return true;

    return false;
}

const char* PluginFormat::listableNames()
{
    return "VST, VST3, CLAP, AAX, AU, RTAS/TDM";
}
