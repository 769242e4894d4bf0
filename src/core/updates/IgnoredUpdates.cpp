#include "core/updates/IgnoredUpdates.h"

#include "core/inventory/VersionCleaning.h"
#include "core/settings/SettingsStore.h"
#include "core/xml/SafeXml.h"

#include <algorithm>

namespace
{
    bool samePlugin (const IgnoredUpdates::Entry& entry, const juce::String& name, const juce::String& vendor,
                     const juce::String& format)
    {
        return equalsIgnoringAsciiCase (entry.name, name) && equalsIgnoringAsciiCase (entry.vendor, vendor)
            && equalsIgnoringAsciiCase (entry.format, format);
    }
}

IgnoredUpdates::IgnoredUpdates (juce::File fileToUse)
    : file (std::move (fileToUse))
{
}

juce::File IgnoredUpdates::fileIn (const juce::File& dataFolder)
{
    return dataFolder.getChildFile (fileName);
}

IgnoredUpdates::Load IgnoredUpdates::load()
{
    entries.clear();
    damagedCopy = juce::File();

    if (! file.exists())
    {
        damageReported = false;
        return Load::missing;
    }

    const auto root = file.existsAsFile() ? SafeXml::parseFile (file, maxFileBytes) : nullptr;

    if (root != nullptr && root->hasTagName (rootTag))
    {
        for (const auto* child : root->getChildWithTagNameIterator ("Ignore"))
        {
            Entry entry { child->getStringAttribute ("Name"), child->getStringAttribute ("Vendor"),
                          child->getStringAttribute ("Format"), child->getStringAttribute ("Version") };

            // A plug-in named twice (by hand) counts once, with its last entry.
            entries.erase (std::remove_if (entries.begin(), entries.end(),
                                           [&entry] (const Entry& e)
                                           { return samePlugin (e, entry.name, entry.vendor, entry.format); }),
                           entries.end());
            entries.push_back (std::move (entry));
        }

        damageReported = false;
        return Load::ok;
    }

    // Kept for the user under another name, so that a fresh list can start;
    // an earlier damaged copy is kept too.
    auto copy = file.getSiblingFile (damagedFileName);

    if (copy.exists())
        copy = copy.getNonexistentSibling (true);

    if (file.moveFileTo (copy))
    {
        damagedCopy = copy;
        damageReported = false;
        return Load::damaged;
    }

    if (damageReported)
        return Load::ok;

    damageReported = true;
    return Load::damaged;
}

std::optional<size_t> IgnoredUpdates::findEntryFor (const PluginRow& row) const
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (samePlugin (entries[i], row.name, row.vendor, row.format))
            return i;

    return std::nullopt;
}

bool IgnoredUpdates::isIgnored (const PluginRow& updateRow) const
{
    const auto index = findEntryFor (updateRow);

    if (! index.has_value())
        return false;

    const auto& ignoredVersion = entries[*index].version;
    return ignoredVersion.isEmpty() || compareCleanedVersions (updateRow.latestVersion, ignoredVersion) <= 0;
}

bool IgnoredUpdates::ignoreVersion (const PluginRow& updateRow)
{
    // Without a version the entry would hide every update of the plug-in.
    if (updateRow.latestVersion.trim().isEmpty())
        return false;

    return replaceEntryFor (updateRow, Entry { updateRow.name, updateRow.vendor, updateRow.format,
                                               updateRow.latestVersion });
}

bool IgnoredUpdates::ignoreAll (const PluginRow& updateRow)
{
    return replaceEntryFor (updateRow, Entry { updateRow.name, updateRow.vendor, updateRow.format, {} });
}

bool IgnoredUpdates::stopIgnoring (const PluginRow& updateRow)
{
    return replaceEntryFor (updateRow, std::nullopt);
}

bool IgnoredUpdates::replaceEntryFor (const PluginRow& row, std::optional<Entry> replacement)
{
    auto updated = entries;
    const auto index = findEntryFor (row);

    if (index.has_value() && replacement.has_value())
        updated[*index] = std::move (*replacement);
    else if (index.has_value())
        updated.erase (updated.begin() + (std::ptrdiff_t) *index);
    else if (replacement.has_value())
        updated.push_back (std::move (*replacement));
    else
        return true;

    juce::XmlElement root (rootTag);

    for (const auto& entry : updated)
    {
        auto* element = root.createNewChildElement ("Ignore");
        element->setAttribute ("Name", entry.name);
        element->setAttribute ("Vendor", entry.vendor);
        element->setAttribute ("Format", entry.format);
        element->setAttribute ("Version", entry.version);
    }

    if (! SettingsStore::writeDocument (root, file))
        return false;

    entries = std::move (updated);
    return true;
}

AlertRequest IgnoredUpdates::makeDamagedAlert (const juce::File& keptAs)
{
    const juce::String text = keptAs == juce::File()
        ? "Cobaltline could not read its list of ignored updates, so all updates are shown again."
        : "Cobaltline could not read its list of ignored updates. It was set aside as\n\n"
              + keptAs.getFullPathName() + "\n\nand all updates are shown again.";

    return AlertRequest::ok (damagedTitle, text, AlertIcon::info);
}

AlertRequest IgnoredUpdates::makeNotSavedAlert (const juce::File& fileNotSaved)
{
    return AlertRequest::ok (notSavedTitle,
                             "Cobaltline could not save its list of ignored updates to\n\n"
                                 + fileNotSaved.getFullPathName()
                                 + "\n\nso the change was not made. Please make sure that the disk has free space "
                                   "and that the folder can be written to, then try again.",
                             AlertIcon::warning);
}
