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

RowComparator::RowComparator (RowField fieldToSortBy, bool forwards)
    : field (fieldToSortBy), direction (forwards ? 1 : -1)
{
}

int RowComparator::compare (const PluginRow& first, const PluginRow& second) const
{
    auto result = compareTexts (first.*field, second.*field);

    if (result == 0)
        result = compareTexts (first.id, second.id);

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

juce::String Column::cellText (const PluginRow& row) const
{
    const auto& text = row.*field;
    return visibleText (showsShortenedVersion ? displayedVersion (text) : text);
}

juce::String Column::sizingText (const PluginRow& row) const
{
    return visibleText (row.*field);
}

juce::URL pageFor (const PluginRow& row)
{
    if (const auto website = WebAddresses::fromUntrustedAddress (row.website); ! website.isEmpty())
        return website;

    return WebAddresses::webSearch (row.vendor + " " + row.name);
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
             PluginListKind::inventory,
             { { 1, "Name", 240, &PluginRow::name, false },
               { 2, "Vendor", 120, &PluginRow::vendor, false },
               { 3, "Format", 70, &PluginRow::format, false },
               { 4, "Installed Version", 130, &PluginRow::installedVersion, false } } };
}

TableDefinition TableDefinition::updates()
{
    return { SettingsStore::updateListSuffix,
             PluginListKind::updateList,
             { { 1, "Name", 240, &PluginRow::name, false },
               { 2, "Vendor", 120, &PluginRow::vendor, false },
               { 3, "Format", 70, &PluginRow::format, false },
               { 4, "Installed Version", 130, &PluginRow::installedVersion, false },
               { 5, "Latest Version", 130, &PluginRow::latestVersion, true } } };
}

TableDefinition TableDefinition::notRecognised()
{
    return { SettingsStore::scanDetailsSuffix,
             PluginListKind::notRecognised,
             { { 1, "File", 220, &PluginRow::name, false },
               { 2, "Format", 70, &PluginRow::format, false },
               { 3, "Reason", 190, &PluginRow::remark, false },
               { 4, "Stated Version", 110, &PluginRow::installedVersion, false },
               { 5, "Path", 300, &PluginRow::path, false } } };
}

TableDefinition TableDefinition::comparison (const juce::String& otherMachineName)
{
    const auto other = otherMachineName.isNotEmpty() ? visibleText (otherMachineName) : juce::String ("Other Machine");

    return { {},
             PluginListKind::comparison,
             { { 1, "Name", 240, &PluginRow::name, false },
               { 2, "Vendor", 120, &PluginRow::vendor, false },
               { 3, "Format", 70, &PluginRow::format, false },
               { 4, "This Machine", 110, &PluginRow::installedVersion, false },
               { 5, other, 110, &PluginRow::latestVersion, false },
               { 6, "Difference", 110, &PluginRow::remark, false } } };
}
}
