#include "core/views/TableRules.h"

#include "core/app/WebAddresses.h"
#include "core/settings/SettingsStore.h"

namespace TableRules
{
namespace
{
    // Non-ASCII characters count as letters: whether the C library knows them
    // as letters depends on the process locale, and names are names.
    bool isLetterOrDigit (juce::juce_wchar c) noexcept
    {
        return c >= 128 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }

    juce::String::CharPointerType skipLeadingPunctuation (juce::String::CharPointerType p) noexcept
    {
        while (! p.isEmpty() && ! isLetterOrDigit (*p))
            ++p;

        return p;
    }
}

int compareTexts (const juce::String& first, const juce::String& second)
{
    return skipLeadingPunctuation (first.getCharPointer())
               .compareIgnoreCase (skipLeadingPunctuation (second.getCharPointer()));
}

RowComparator::RowComparator (const juce::Identifier& attributeToSortBy, bool forwards)
    : attribute (attributeToSortBy), direction (forwards ? 1 : -1)
{
}

int RowComparator::compareElements (const juce::XmlElement* first, const juce::XmlElement* second) const
{
    static const juce::Identifier idAttribute ("ID");

    auto result = compareTexts (first->getStringAttribute (attribute), second->getStringAttribute (attribute));

    if (result == 0)
        result = compareTexts (first->getStringAttribute (idAttribute), second->getStringAttribute (idAttribute));

    return direction * result;
}

juce::String displayedVersion (const juce::String& version)
{
    if (! version.containsChar ('.'))
        return version;

    const auto shortened = version.trimCharactersAtEnd ("0");
    return shortened.endsWithChar ('.') ? shortened + "0" : shortened;
}

juce::URL pageFor (const juce::XmlElement& row)
{
    if (const auto website = WebAddresses::fromUntrustedAddress (row.getStringAttribute ("Website"));
        ! website.isEmpty())
        return website;

    return WebAddresses::webSearch (row.getStringAttribute ("Vendor") + " " + row.getStringAttribute ("Name"));
}

const Column* TableDefinition::findColumn (int id) const
{
    for (const auto& column : columns)
        if (column.id == id)
            return &column;

    return nullptr;
}

TableDefinition TableDefinition::installed()
{
    return { SettingsStore::inventorySuffix,
             { { 1, "Name", 240, "Name", false },
               { 2, "Vendor", 120, "Vendor", false },
               { 3, "Format", 70, "Format", false },
               { 4, "Installed Version", 130, "Version", false } } };
}

TableDefinition TableDefinition::updates()
{
    return { SettingsStore::updateListSuffix,
             { { 1, "Name", 240, "Name", false },
               { 2, "Vendor", 120, "Vendor", false },
               { 3, "Format", 70, "Format", false },
               { 4, "Installed Version", 130, "InstalledVersion", false },
               { 5, "Latest Version", 130, "CurrentVersion", true } } };
}
}
