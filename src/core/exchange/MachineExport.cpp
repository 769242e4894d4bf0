#include "core/exchange/MachineExport.h"

#include "core/exchange/MachineImport.h"
#include "core/exchange/ExchangeFormat.h"
#include "core/inventory/ScanReport.h"
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

    /** A copy of the element without any Email or Password attribute, at any depth. */
    std::unique_ptr<juce::XmlElement> cleanCopy (const juce::XmlElement& source)
    {
        auto copy = std::make_unique<juce::XmlElement> (source);

        juce::Array<juce::XmlElement*> pending { copy.get() };

        while (! pending.isEmpty())
        {
            auto* element = pending.removeAndReturn (pending.size() - 1);

            for (int i = element->getNumAttributes(); --i >= 0;)
            {
                const auto name = element->getAttributeName (i);

                if (name.equalsIgnoreCase ("Email") || name.equalsIgnoreCase ("Password"))
                    element->removeAttribute (name);
            }

            for (auto* child : element->getChildIterator())
                pending.add (child);
        }

        return copy;
    }

    juce::XmlElement makeExport (const juce::XmlElement& inventory, const juce::XmlElement* updateList)
    {
        juce::XmlElement document (ExchangeFormat::rootTag);
        document.setAttribute (ExchangeFormat::versionAttribute, ExchangeFormat::currentVersion);
        document.addChildElement (cleanCopy (inventory).release());

        auto* updates = document.createNewChildElement (ExchangeFormat::updateListTag);

        if (updateList != nullptr && ! updateList->hasTagName ("Errors"))
            for (auto* row : updateList->getChildIterator())
                if (! row->isTextElement())
                    updates->addChildElement (cleanCopy (*row).release());

        return document;
    }

    /** Replaces the target with the bytes: a temporary file beside it, then renamed. */
    bool replaceWhole (const juce::File& target, const juce::MemoryBlock& bytes)
    {
        if (target == juce::File())
            return false;

        const juce::TemporaryFile temporary (target);

        {
            juce::FileOutputStream out (temporary.getFile());

            if (! out.openedOk() || ! out.write (bytes.getData(), bytes.getSize()))
                return false;

            out.flush();

            if (out.getStatus().failed())
                return false;
        }

        return temporary.overwriteTargetFileWithTemporary();
    }

    using PluginKey = std::tuple<juce::String, juce::String, juce::String>;

    PluginKey keyOf (const PluginRow& row)   { return { row.name, row.vendor, row.format }; }
}

namespace MachineExport
{
Kind kindOf (const juce::File& target)
{
    if (target.hasFileExtension ("csv"))
        return Kind::csv;

    if (target.hasFileExtension ("json"))
        return Kind::json;

    return Kind::cobaltline;
}

juce::File withExtension (const juce::File& chosen)
{
    if (chosen == juce::File() || chosen.hasFileExtension ("cobaltline;csv;json"))
        return chosen;

    return chosen.getSiblingFile (chosen.getFileName() + ".cobaltline");
}

bool hasResults (const SettingsStore& settings, const juce::String& machineName)
{
    const auto inventory = settings.getMachineFile (machineName, SettingsStore::inventorySuffix);
    return inventory.existsAsFile() && inventory.getSize() > 0;
}

juce::File suggestedFile (const juce::File& folder, const juce::String& machineName)
{
    const auto name = juce::File::createLegalFileName (machineName).trim();
    return folder.getChildFile ((name.isNotEmpty() ? name : juce::String ("Machine Profile")) + ".cobaltline");
}

AlertRequest makeReplaceAlert (const juce::File& target)
{
    return { "Replace Existing File?",
             "There is already a file called " + target.getFullPathName() + ". Do you want to replace it?",
             AlertIcon::warning,
             { { "Replace", 1, AlertKey::none }, { "Cancel", 0, AlertKey::escapeKey } } };
}

Outcome exportTo (const SettingsStore& settings, const juce::String& machineName, const juce::File& target)
{
    const auto inventory = readList (settings, machineName, SettingsStore::inventorySuffix);

    if (inventory == nullptr || ! inventory->hasTagName (ExchangeFormat::machineProfileTag))
        return Outcome::nothingToExport;

    const auto updateList = readList (settings, machineName, SettingsStore::updateListSuffix);
    juce::MemoryOutputStream bytes;

    switch (kindOf (target))
    {
        case Kind::csv:
        {
            const auto updates = updateList != nullptr ? PluginRow::allFrom (*updateList, PluginListKind::updateList)
                                                       : std::vector<PluginRow>();
            bytes.write ("\xef\xbb\xbf", 3);
            bytes << toCsv (PluginRow::allFrom (*inventory, PluginListKind::inventory), updates);
            break;
        }

        case Kind::json:
            bytes << ScanReport::toJson (settings, machineName);
            break;

        case Kind::cobaltline:
            makeExport (*inventory, updateList.get()).writeTo (bytes, {});

            // A file the import would refuse is no use to anyone.
            if ((juce::int64) bytes.getDataSize() > MachineImport::maxFileBytes)
                return Outcome::notWritten;

            break;
    }

    return replaceWhole (target, bytes.getMemoryBlock()) ? Outcome::written : Outcome::notWritten;
}

AlertRequest makeAlert (Outcome outcome, const juce::File& target)
{
    switch (outcome)
    {
        case Outcome::nothingToExport:
            return AlertRequest::ok ("Nothing to Export",
                                     "There are no scan results on this machine yet. Press Scan first, then export them.",
                                     AlertIcon::warning);

        case Outcome::notWritten:
            return AlertRequest::ok ("Export Failed",
                                     "Cobaltline could not write the file " + target.getFullPathName()
                                         + ". Please choose another place to save it.",
                                     AlertIcon::warning);

        case Outcome::written:
            break;
    }

    return {};
}

juce::String csvCell (const juce::String& text)
{
    auto cell = text;

    if (cell.startsWithChar ('=') || cell.startsWithChar ('+') || cell.startsWithChar ('-')
        || cell.startsWithChar ('@') || cell.startsWithChar ('\t') || cell.startsWithChar ('\r'))
        cell = "'" + cell;

    if (cell.containsAnyOf (",\"\r\n"))
        cell = "\"" + cell.replace ("\"", "\"\"") + "\"";

    return cell;
}

juce::String toCsv (const std::vector<PluginRow>& inventory, const std::vector<PluginRow>& updates)
{
    std::map<PluginKey, const PluginRow*> newest;

    for (const auto& row : updates)
        newest.emplace (keyOf (row), &row);

    juce::MemoryOutputStream csv;
    csv << "Name,Vendor,Format,Installed Version,Latest Version,Website,Path\r\n";

    for (const auto& row : inventory)
    {
        const auto known = newest.find (keyOf (row));
        const auto* update = known != newest.end() ? known->second : nullptr;

        csv << csvCell (row.name) << ',' << csvCell (row.vendor) << ',' << csvCell (row.format) << ','
            << csvCell (row.installedVersion) << ','
            << csvCell (update != nullptr ? update->latestVersion : juce::String()) << ','
            << csvCell (update != nullptr ? update->website : juce::String()) << ','
            << csvCell (row.path) << "\r\n";
    }

    return csv.toUTF8();
}
}
