#include "core/tables/RowActions.h"

#include "core/tables/TableRules.h"

namespace RowActions
{
namespace
{
    juce::String statedVersionLine (const juce::String& stated)
    {
        return "Version as the file states it: " + (stated.isEmpty() ? juce::String ("(none)")
                                                                    : "\"" + TableRules::visibleText (stated) + "\"");
    }
}

std::vector<MenuEntry> menuFor (PluginListKind kind, const PluginRow& row, bool isIgnored)
{
    switch (kind)
    {
        case PluginListKind::updateList:
            if (isIgnored)
                return { { stopIgnoring, "Stop Ignoring" },
                         { openWebsite, "Open Website" },
                         { copyNameAndVersion, "Copy Name and Version" } };

            return { { ignoreThisVersion, "Ignore This Version", row.latestVersion.isNotEmpty() },
                     { ignoreAllUpdates, "Ignore All Updates of This Plug-in" },
                     { openWebsite, "Open Website" },
                     { copyNameAndVersion, "Copy Name and Version" } };

        case PluginListKind::inventory:
            return { { openWebsite, "Open Website" },
                     { copyNameAndVersion, "Copy Name and Version" },
                     { showInFolder, "Show in Folder" } };

        case PluginListKind::notRecognised:
            return { { showInFolder, "Show in Folder" } };

        case PluginListKind::comparison:
            return { { openWebsite, "Open Website" },
                     { copyNameAndVersion, "Copy Name and Version" } };
    }

    return {};
}

juce::String nameAndVersion (const PluginRow& row, PluginListKind kind)
{
    const auto version = kind == PluginListKind::updateList ? TableRules::displayedVersion (row.latestVersion)
                                                            : row.installedVersion;
    return (row.name + " " + version).trim();
}

juce::String tooltipFor (const PluginRow& row, PluginListKind kind, const ScanDetails* details)
{
    if (kind == PluginListKind::notRecognised)
        return TableRules::visibleText (row.path) + "\n" + row.remark + "\n" + statedVersionLine (row.installedVersion);

    if (kind == PluginListKind::comparison)
        return TableRules::visibleText (row.path) + "\nThis machine: " + (row.installedVersion.isEmpty() ? "-" : row.installedVersion)
             + "\nOther machine: " + (row.latestVersion.isEmpty() ? "-" : row.latestVersion);

    if (kind == PluginListKind::inventory)
    {
        juce::String tip = TableRules::visibleText (row.path);

        if (details != nullptr)
            if (const auto* kept = details->findKept (row.path))
                tip << "\n" << statedVersionLine (kept->statedVersion);

        return tip;
    }

    // An update stands for every file of the plug-in the last scan kept.
    juce::StringArray lines;

    if (details != nullptr)
        for (const auto& kept : details->kept)
            if (equalsIgnoringAsciiCase (kept.name, row.name) && equalsIgnoringAsciiCase (kept.vendor, row.vendor)
                && equalsIgnoringAsciiCase (kept.format, row.format))
                lines.add (TableRules::visibleText (kept.path) + "\n" + statedVersionLine (kept.statedVersion));

    if (lines.isEmpty())
        return TableRules::visibleText (row.name) + " " + TableRules::displayedVersion (row.latestVersion);

    return lines.joinIntoString ("\n");
}

juce::URL folderOf (const PluginRow& row)
{
    if (! juce::File::isAbsolutePath (row.path))
        return {};

    return juce::URL (juce::File (row.path).getParentDirectory());
}
}
