#include "core/inventory/ScanReport.h"

#include "core/tables/PluginRow.h"
#include "core/tables/TableData.h"
#include "core/xml/SafeXml.h"

#include <map>
#include <tuple>

namespace
{
    std::unique_ptr<juce::XmlElement> readList (const SettingsStore& settings, const juce::String& machineName,
                                                const char* suffix)
    {
        const auto file = settings.getMachineFile (machineName, suffix);
        return file.existsAsFile() ? SafeXml::parseFile (file, TableData::maxFileBytes) : nullptr;
    }

    std::vector<PluginRow> rowsOf (const juce::XmlElement* root, PluginListKind kind)
    {
        return root != nullptr ? PluginRow::allFrom (*root, kind) : std::vector<PluginRow>();
    }

    std::vector<PluginRow> inventoryRows (const SettingsStore& settings, const juce::String& machineName)
    {
        const auto root = readList (settings, machineName, SettingsStore::inventorySuffix);
        return rowsOf (root.get(), PluginListKind::inventory);
    }

    using PluginKey = std::tuple<juce::String, juce::String, juce::String>;

    PluginKey keyOf (const PluginRow& row)   { return { row.name, row.vendor, row.format }; }
}

namespace ScanReport
{
Summary summarise (const SettingsStore& settings, const juce::String& machineName)
{
    Summary summary;
    summary.kept = (int) inventoryRows (settings, machineName).size();

    const auto updates = readList (settings, machineName, SettingsStore::updateListSuffix);
    summary.updates = (int) rowsOf (updates.get(), PluginListKind::updateList).size();

    juce::StringArray unknown;
    const auto unknownFile = settings.getMachineFile (machineName, SettingsStore::unknownPluginsSuffix);

    if (unknownFile.existsAsFile() && unknownFile.getSize() <= TableData::maxFileBytes)
        unknownFile.readLines (unknown);

    unknown.removeEmptyStrings();
    summary.notRecognised = unknown.size();
    return summary;
}

std::vector<int> countIn (const SettingsStore& settings, const juce::String& machineName, const juce::StringArray& folders)
{
    std::vector<int> counts ((size_t) folders.size(), 0);

    for (const auto& row : inventoryRows (settings, machineName))
    {
        const juce::File file (juce::File::isAbsolutePath (row.path) ? row.path : juce::String());

        for (int i = 0; i < folders.size(); ++i)
        {
            const juce::File folder (juce::File::isAbsolutePath (folders[i]) ? folders[i] : juce::String());

            if (folder != juce::File() && (file == folder || file.isAChildOf (folder)))
                ++counts[(size_t) i];
        }
    }

    return counts;
}

juce::String toJson (const SettingsStore& settings, const juce::String& machineName)
{
    const auto inventory = readList (settings, machineName, SettingsStore::inventorySuffix);
    const auto updateList = readList (settings, machineName, SettingsStore::updateListSuffix);

    std::map<PluginKey, PluginRow> newest;

    for (auto& row : rowsOf (updateList.get(), PluginListKind::updateList))
        newest.emplace (keyOf (row), std::move (row));

    auto machine = std::make_unique<juce::DynamicObject>();

    if (inventory != nullptr)
        for (int i = 0; i < inventory->getNumAttributes(); ++i)
            machine->setProperty (inventory->getAttributeName (i), inventory->getAttributeValue (i));

    juce::Array<juce::var> plugins;

    for (const auto& row : rowsOf (inventory.get(), PluginListKind::inventory))
    {
        const auto known = newest.find (keyOf (row));
        auto plugin = std::make_unique<juce::DynamicObject>();
        plugin->setProperty ("name", row.name);
        plugin->setProperty ("vendor", row.vendor);
        plugin->setProperty ("format", row.format);
        plugin->setProperty ("installedVersion", row.installedVersion);
        plugin->setProperty ("latestVersion", known != newest.end() ? known->second.latestVersion : juce::String());
        plugin->setProperty ("website", known != newest.end() ? known->second.website : juce::String());
        plugin->setProperty ("path", row.path);
        plugins.add (juce::var (plugin.release()));
    }

    auto document = std::make_unique<juce::DynamicObject>();
    document->setProperty ("machine", juce::var (machine.release()));
    document->setProperty ("plugins", plugins);
    return juce::JSON::toString (juce::var (document.release()));
}
}
