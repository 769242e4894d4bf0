#pragma once

#include <string>
#include <string_view>

/**
    The plug-in formats of inventory and catalog rows, and the key rows are
    compared by: a release of one format is never offered to a row of
    another, so the catalog and the crowd versions keep the formats apart.

    The application names "VST", "VST3", "CLAP" and "AAX"; older programs
    sent "VST", or the format of a folder row ("AU", "RTAS/TDM", or ""
    for none), although they scanned VST plug-ins only. So an empty or
    missing format counts as "VST". Any other format is compared as it is
    (without regard to ASCII case): it matches only rows of that same
    format, which the catalog never lists.

    Pure; from any thread.
*/
class PluginFormat
{
public:
    /** The key of a format as uploaded or listed: ASCII lower case, "vst"
        for an empty one. */
    static std::string key (std::string_view format);

    /** True for the formats the catalog may list: VST, VST3, CLAP, AAX, AU
        and RTAS/TDM, without regard to ASCII case. */
    static bool isListable (std::string_view format);

    /** The listable formats for messages: "VST, VST3, CLAP, AAX, AU, RTAS/TDM". */
    static const char* listableNames();
};
