#pragma once

#include "core/tables/ScanDetails.h"
#include "core/platform/DesktopServices.h"
#include "core/tables/PluginRow.h"

#include <vector>

/** What the user can do with a row of a table, besides opening it: the
    entries of its pop-up menu, the text "Copy Name and Version" copies, and
    what its tooltip tells.
*/
namespace RowActions
{
    enum MenuId
    {
        ignoreThisVersion = 1,
        ignoreAllUpdates,
        stopIgnoring,
        openWebsite,
        copyNameAndVersion,
        showInFolder
    };

    /** The menu of a row of a table of this kind; an update list row offers
        to set it aside (one version only when it names one), or, when it is
        set aside already, to stop that.
    */
    std::vector<MenuEntry> menuFor (PluginListKind kind, const PluginRow& row, bool isIgnored);

    /** The row's name and the version that matters in its table (the latest
        one in the update list, the installed one elsewhere), as shown.
    */
    juce::String nameAndVersion (const PluginRow& row, PluginListKind kind);

    /** The tooltip of a row: the file (or files) it stands for and the version
        as the file states it, so that rows that look alike can be told apart.
        details may be nullptr (no scan details on disk).
    */
    juce::String tooltipFor (const PluginRow& row, PluginListKind kind, const ScanDetails* details);

    /** The folder a row's file lies in, as an address the desktop opens
        (juce::URL() when the path is not a full one).
    */
    juce::URL folderOf (const PluginRow& row);
}
