#include "core/exchange/MachineImport.h"

#include "core/exchange/ExchangeFormat.h"
#include "core/tables/TableData.h"
#include "core/xml/SafeXml.h"
#include "pe/PeFileSource.h"

#include <limits>

namespace
{
    using MachineImport::Problem;

    MachineImport::Result failure (Problem problem)
    {
        MachineImport::Result result;
        result.problem = problem;
        return result;
    }

    /** The format version the root states: 0 when it is missing or not a whole
        number, a large number for one too long to hold.
    */
    int formatVersionOf (const juce::XmlElement& root)
    {
        const auto text = root.getStringAttribute (ExchangeFormat::versionAttribute);

        if (text.isEmpty() || ! text.containsOnly ("0123456789"))
            return 0;

        const auto digits = text.trimCharactersAtStart ("0");
        return digits.length() > 9 ? std::numeric_limits<int>::max() : digits.getIntValue();
    }

    std::vector<PluginRow> rowsOf (const juce::XmlElement* root, PluginListKind kind)
    {
        return root != nullptr ? PluginRow::allFrom (*root, kind) : std::vector<PluginRow>();
    }

    std::vector<PluginRow> storedRows (const SettingsStore& settings, const juce::String& machineName,
                                       const char* suffix, PluginListKind kind)
    {
        const auto file = settings.getMachineFile (machineName, suffix);
        const auto root = file.existsAsFile() ? SafeXml::parseFile (file, TableData::maxFileBytes) : nullptr;
        return rowsOf (root.get(), kind);
    }
}

namespace MachineImport
{
Result read (const juce::File& file)
{
    // Opened without waiting (a FIFO under the name would block), and sized
    // before anything is read.
    pe::FileSource source (file.getFullPathName().toStdString());

    if (! source.isOpen())
        return failure (Problem::unreadable);

    if (source.size() > (std::uint64_t) maxFileBytes)
        return failure (Problem::tooLarge);

    std::vector<char> bytes ((size_t) source.size());

    if (source.readAt (0, bytes.data(), bytes.size()) != bytes.size())
        return failure (Problem::unreadable);

    // The export holds the rows of two files, each of which may have had as
    // many elements as SafeXml allows one document.
    SafeXml::Limits limits;
    limits.maxBytes = maxFileBytes;
    limits.maxElements = 2 * SafeXml::Limits().maxElements + 16;

    const auto root = bytes.empty() ? nullptr : SafeXml::parse (bytes.data(), bytes.size(), limits);

    if (root == nullptr)
        return failure (Problem::damaged);

    if (! root->hasTagName (ExchangeFormat::rootTag))
        return failure (Problem::notAnExport);

    const auto version = formatVersionOf (*root);

    if (version > ExchangeFormat::currentVersion)
        return failure (Problem::newerFormat);

    const auto* profile = root->getChildByName (ExchangeFormat::machineProfileTag);

    if (version < 1 || profile == nullptr)
        return failure (Problem::damaged);

    Result result;
    result.snapshot.machineName = profile->getStringAttribute (ExchangeFormat::machineNameAttribute);
    result.snapshot.plugins = PluginRow::allFrom (*profile, PluginListKind::inventory);
    result.snapshot.updates = rowsOf (root->getChildByName (ExchangeFormat::updateListTag), PluginListKind::updateList);
    return result;
}

MachineSnapshot thisMachine (const SettingsStore& settings, const juce::String& machineName)
{
    return { machineName,
             storedRows (settings, machineName, SettingsStore::inventorySuffix, PluginListKind::inventory),
             storedRows (settings, machineName, SettingsStore::updateListSuffix, PluginListKind::updateList) };
}

AlertRequest makeAlert (Problem problem, const juce::File& file)
{
    const auto name = file.getFullPathName();
    juce::String message;

    switch (problem)
    {
        case Problem::none:         return {};
        case Problem::unreadable:   message = name + " could not be read."; break;
        case Problem::tooLarge:     message = name + " is larger than 256 MiB, more than any machine profile export holds."; break;
        case Problem::notAnExport:  message = name + " is not a Cobaltline machine profile export."; break;
        case Problem::damaged:      message = name + " is damaged or incomplete. Please export the machine profile again."; break;
        case Problem::newerFormat:  message = name + " was exported by a newer version of Cobaltline. Please update Cobaltline to import it."; break;
    }

    return AlertRequest::ok ("Import Failed", message, AlertIcon::warning);
}
}
