#include "core/exchange/ProfileComparison.h"

#include "core/inventory/VersionCleaning.h"

#include <map>
#include <tuple>

namespace
{
    using Key = std::tuple<juce::String, juce::String, juce::String>;

    Key keyOf (const PluginRow& row)
    {
        return { foldAsciiCase (row.name), foldAsciiCase (row.vendor), foldAsciiCase (row.format) };
    }

    /** What each machine has of one plug-in. */
    struct Sides
    {
        const PluginRow* here = nullptr;    // this machine's highest version
        const PluginRow* there = nullptr;
        juce::String websiteHere, websiteThere;
    };

    void keepHighest (const PluginRow*& best, const PluginRow& row)
    {
        if (best == nullptr || compareCleanedVersions (row.installedVersion, best->installedVersion) > 0)
            best = &row;
    }

    ProfileComparison::Group groupOf (const Sides& sides)
    {
        using ProfileComparison::Group;

        if (sides.here == nullptr)
            return Group::missingHere;

        if (sides.there == nullptr)
            return Group::missingThere;

        const auto order = compareCleanedVersions (sides.here->installedVersion, sides.there->installedVersion);
        return order < 0 ? Group::olderHere : (order > 0 ? Group::newerHere : Group::same);
    }
}

namespace ProfileComparison
{
juce::String nameOf (Group group)
{
    switch (group)
    {
        case Group::missingHere:    return "Missing here";
        case Group::missingThere:   return "Missing there";
        case Group::olderHere:      return "Older here";
        case Group::newerHere:      return "Newer here";
        case Group::same:           return "Same";
    }

    return {};
}

Result compare (const MachineSnapshot& here, const MachineSnapshot& there)
{
    std::map<Key, Sides> plugins;

    for (const auto& row : here.plugins)
        keepHighest (plugins[keyOf (row)].here, row);

    for (const auto& row : there.plugins)
        keepHighest (plugins[keyOf (row)].there, row);

    // Web sites only for plug-ins either machine has; the first non-empty one of each side.
    const auto noteWebsites = [&plugins] (const std::vector<PluginRow>& updates, juce::String Sides::* website)
    {
        for (const auto& row : updates)
        {
            if (row.website.isEmpty())
                continue;

            const auto found = plugins.find (keyOf (row));

            if (found != plugins.end() && (found->second.*website).isEmpty())
                found->second.*website = row.website;
        }
    };

    noteWebsites (here.updates, &Sides::websiteHere);
    noteWebsites (there.updates, &Sides::websiteThere);

    Result result;
    result.rows.reserve (plugins.size());

    for (const auto& entry : plugins)
    {
        const auto& sides = entry.second;
        const auto group = groupOf (sides);
        const auto& spelling = sides.here != nullptr ? *sides.here : *sides.there;

        PluginRow row;
        row.name = spelling.name;
        row.vendor = spelling.vendor;
        row.format = spelling.format;
        row.installedVersion = sides.here != nullptr ? sides.here->installedVersion : juce::String();
        row.latestVersion = sides.there != nullptr ? sides.there->installedVersion : juce::String();
        row.path = spelling.path;
        row.website = sides.websiteHere.isNotEmpty() ? sides.websiteHere : sides.websiteThere;
        row.remark = nameOf (group);
        result.rows.push_back (std::move (row));

        ++result.counts[(size_t) group];
    }

    return result;
}

Imported importAndCompare (const juce::File& exportFile, const SettingsStore& settings)
{
    Imported imported;
    auto read = MachineImport::read (exportFile);
    imported.problem = read.problem;

    if (imported.problem == MachineImport::Problem::none)
    {
        imported.otherMachineName = read.snapshot.machineName;
        imported.comparison = compare (MachineImport::thisMachine (settings, settings.getMachineName()), read.snapshot);
    }

    return imported;
}
}
