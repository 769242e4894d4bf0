#pragma once

#include <juce_core/juce_core.h>

#include <array>

/** One row of Paths.xml: a plug-in folder, its format number (1 "AU",
    2 "VST", 3 "RTAS/TDM", 4 "AAX"; 0 or anything else for none) and whether
    the next scan walks it.
*/
struct ScanFolder
{
    juce::String folder;
    int formatId = 0;
    bool scan = false;

    bool operator== (const ScanFolder& other) const
    {
        return folder == other.folder && formatId == other.formatId && scan == other.scan;
    }

    bool operator!= (const ScanFolder& other) const   { return ! operator== (other); }
};

/** The ten folder rows of Paths.xml, row 1 first. A row the file leaves
    out reads as an empty one, with no format and its box off.
*/
struct ScanFolders
{
    static constexpr int numRows = 10;

    std::array<ScanFolder, numRows> rows {};

    bool operator== (const ScanFolders& other) const   { return rows == other.rows; }
    bool operator!= (const ScanFolders& other) const   { return rows != other.rows; }
};
