#include "core/tables/PluginRow.h"

namespace
{
    // The attribute names of both files, here and nowhere else. Made once:
    // making an Identifier from text looks it up in JUCE's string pool.
    struct Attributes
    {
        const juce::Identifier plugin { "Plugin" };                     // the inventory's row tag
        const juce::Identifier name { "Name" };
        const juce::Identifier vendor { "Vendor" };
        const juce::Identifier format { "Format" };
        const juce::Identifier version { "Version" };                    // the inventory's installed version
        const juce::Identifier installedVersion { "InstalledVersion" };  // the update list's
        const juce::Identifier currentVersion { "CurrentVersion" };
        const juce::Identifier website { "Website" };
        const juce::Identifier path { "Path" };
        const juce::Identifier error { "Error" };
        const juce::Identifier id { "ID" };
        const juce::Identifier notRecognised { "NotRecognised" };        // the scan details' rows of unused files
        const juce::Identifier statedVersion { "StatedVersion" };        // the version as the file states it
        const juce::Identifier reason { "Reason" };
    };

    const Attributes& attributes()
    {
        static const Attributes names;
        return names;
    }
}

PluginRow PluginRow::fromElement (const juce::XmlElement& element, PluginListKind kind)
{
    const auto& a = attributes();
    const auto inventory = kind == PluginListKind::inventory || kind == PluginListKind::comparison;

    PluginRow row;

    if (kind == PluginListKind::notRecognised)
    {
        row.path = element.getStringAttribute (a.path);
        row.name = row.path.fromLastOccurrenceOf ("/", false, false).fromLastOccurrenceOf ("\\", false, false);
        row.format = element.getStringAttribute (a.format);
        row.installedVersion = element.getStringAttribute (a.statedVersion);
        row.remark = element.getStringAttribute (a.reason);
        return row;
    }

    row.name = element.getStringAttribute (a.name);
    row.vendor = element.getStringAttribute (a.vendor);
    row.format = element.getStringAttribute (a.format);
    row.installedVersion = element.getStringAttribute (inventory ? a.version : a.installedVersion);

    if (! inventory)
        row.latestVersion = element.getStringAttribute (a.currentVersion);

    row.website = element.getStringAttribute (a.website);
    row.path = element.getStringAttribute (a.path);
    row.error = element.getStringAttribute (a.error);
    row.id = element.getStringAttribute (a.id);
    return row;
}

juce::XmlElement PluginRow::toInventoryElement() const
{
    const auto& a = attributes();

    juce::XmlElement element (a.plugin);
    element.setAttribute (a.name, name);
    element.setAttribute (a.version, installedVersion);
    element.setAttribute (a.vendor, vendor);
    element.setAttribute (a.path, path);
    element.setAttribute (a.format, format);
    element.setAttribute (a.error, error);
    return element;
}

std::vector<PluginRow> PluginRow::allFrom (const juce::XmlElement& root, PluginListKind kind)
{
    std::vector<PluginRow> rows;
    rows.reserve ((size_t) root.getNumChildElements());

    const auto onlyUnused = kind == PluginListKind::notRecognised;

    for (auto* child : root.getChildIterator())
        if (! child->isTextElement() && (! onlyUnused || child->hasTagName (attributes().notRecognised)))
            rows.push_back (fromElement (*child, kind));

    return rows;
}

namespace
{
    juce::juce_wchar foldAscii (juce::juce_wchar c)
    {
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    }
}

bool equalsIgnoringAsciiCase (const juce::String& first, const juce::String& second)
{
    auto p = first.getCharPointer();
    auto q = second.getCharPointer();

    for (;;)
    {
        const auto c = p.getAndAdvance();
        const auto d = q.getAndAdvance();

        if (foldAscii (c) != foldAscii (d))
            return false;

        if (c == 0)
            return true;
    }
}

juce::String foldAsciiCase (const juce::String& text)
{
    juce::String folded;
    folded.preallocateBytes (text.getNumBytesAsUTF8());

    for (auto c : text)
        folded += foldAscii (c);

    return folded;
}
