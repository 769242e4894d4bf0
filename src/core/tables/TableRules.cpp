#include "core/tables/TableRules.h"

#include "core/context/WebAddresses.h"
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

juce::String visibleText (const juce::String& text)
{
    const auto isControl = [] (juce::juce_wchar c) { return c < 0x20 || c == 0x7f; };
    auto p = text.getCharPointer();

    while (! p.isEmpty() && ! isControl (*p))
        ++p;

    if (p.isEmpty())
        return text;

    juce::String shown;
    shown.preallocateBytes (text.getNumBytesAsUTF8() + 16);

    for (auto c = text.getCharPointer(); ! c.isEmpty(); ++c)
        shown << juce::String::charToString (! isControl (*c) ? *c : *c == 0x7f ? (juce::juce_wchar) 0x2421
                                                                                : (juce::juce_wchar) (0x2400 + *c));

    return shown;
}

juce::String Column::cellText (const juce::XmlElement& row) const
{
    const auto text = row.getStringAttribute (attribute);
    return visibleText (showsShortenedVersion ? displayedVersion (text) : text);
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
