#include "core/tables/ScanDetails.h"

#include "core/settings/SettingsStore.h"
#include "core/tables/TableData.h"
#include "core/xml/SafeXml.h"

#include <algorithm>
#include <array>

namespace
{
    const std::array<std::pair<ScanDetails::UpdateCheck, const char*>, 6> updateCheckNames { {
        { ScanDetails::UpdateCheck::pending, "pending" },
        { ScanDetails::UpdateCheck::checked, "checked" },
        { ScanDetails::UpdateCheck::notChecked, "notChecked" },
        { ScanDetails::UpdateCheck::noReply, "noReply" },
        { ScanDetails::UpdateCheck::refused, "refused" },
        { ScanDetails::UpdateCheck::cleared, "cleared" } } };

    const std::array<ScanDetails::Reason, 4> allReasons { ScanDetails::Reason::noVersionResource,
                                                          ScanDetails::Reason::noCompleteStringTable,
                                                          ScanDetails::Reason::noVersionNumber,
                                                          ScanDetails::Reason::noBinaryInBundle };

    juce::String nameOf (ScanDetails::UpdateCheck check)
    {
        for (const auto& [value, name] : updateCheckNames)
            if (value == check)
                return name;

        return "pending";
    }

    ScanDetails::UpdateCheck updateCheckNamed (const juce::String& name)
    {
        for (const auto& [value, text] : updateCheckNames)
            if (name == text)
                return value;

        return ScanDetails::UpdateCheck::pending;
    }

    ScanDetails::Reason reasonDescribedAs (const juce::String& text)
    {
        for (const auto reason : allReasons)
            if (text == ScanDetails::describe (reason))
                return reason;

        return ScanDetails::Reason::noVersionNumber;
    }
}

juce::String ScanDetails::describe (Reason reason)
{
    switch (reason)
    {
        case Reason::noVersionResource:       return "No version resource";
        case Reason::noCompleteStringTable:   return "No complete string table";
        case Reason::noVersionNumber:         return "No version number";
        case Reason::noBinaryInBundle:        return "No plug-in file in the bundle";
    }

    return "No version number";
}

std::unique_ptr<juce::XmlElement> ScanDetails::toXml() const
{
    auto root = std::make_unique<juce::XmlElement> (rootTag);
    root->setAttribute ("UpdateCheck", nameOf (updateCheck));
    root->setAttribute ("ServiceMessage", serviceMessage);
    root->setAttribute ("Updates", updates);

    // JUCE appends a child by walking the list of children, which for the
    // tens of thousands of files of a large scan took seconds at every
    // write; put in at the front, last first, each costs the same.
    for (auto file = rejected.rbegin(); file != rejected.rend(); ++file)
    {
        auto element = std::make_unique<juce::XmlElement> ("NotRecognised");
        element->setAttribute ("Path", file->path);
        element->setAttribute ("Format", file->format);
        element->setAttribute ("StatedVersion", file->statedVersion);
        element->setAttribute ("Reason", describe (file->reason));
        root->prependChildElement (element.release());
    }

    for (auto plugin = kept.rbegin(); plugin != kept.rend(); ++plugin)
    {
        auto element = std::make_unique<juce::XmlElement> ("Plugin");
        element->setAttribute ("Path", plugin->path);
        element->setAttribute ("Name", plugin->name);
        element->setAttribute ("Vendor", plugin->vendor);
        element->setAttribute ("Format", plugin->format);
        element->setAttribute ("StatedVersion", plugin->statedVersion);
        root->prependChildElement (element.release());
    }

    return root;
}

ScanDetails ScanDetails::fromXml (const juce::XmlElement& root)
{
    ScanDetails details;
    details.updateCheck = updateCheckNamed (root.getStringAttribute ("UpdateCheck"));
    details.serviceMessage = root.getStringAttribute ("ServiceMessage");
    details.updates = juce::jmax (0, root.getIntAttribute ("Updates"));

    for (const auto* child : root.getChildIterator())
    {
        if (child->hasTagName ("Plugin"))
            details.kept.push_back ({ child->getStringAttribute ("Path"), child->getStringAttribute ("Name"),
                                      child->getStringAttribute ("Vendor"), child->getStringAttribute ("Format"),
                                      child->getStringAttribute ("StatedVersion") });
        else if (child->hasTagName ("NotRecognised"))
            details.rejected.push_back ({ child->getStringAttribute ("Path"), child->getStringAttribute ("Format"),
                                          child->getStringAttribute ("StatedVersion"),
                                          reasonDescribedAs (child->getStringAttribute ("Reason")) });
    }

    return details;
}

std::optional<ScanDetails> ScanDetails::read (const juce::File& file)
{
    if (! file.existsAsFile())
        return std::nullopt;

    const auto root = SafeXml::parseFile (file, TableData::maxFileBytes);

    if (root == nullptr || ! root->hasTagName (rootTag))
        return std::nullopt;

    return fromXml (*root);
}

bool ScanDetails::writeTo (const juce::File& file) const
{
    return SettingsStore::writeDocument (*toXml(), file);
}

const ScanDetails::Kept* ScanDetails::findKept (const juce::String& path) const
{
    const auto lookUp = [this, &path]() -> const Kept*
    {
        const auto found = std::lower_bound (keptIndex.begin(), keptIndex.end(), path,
                                             [] (const auto& entry, const juce::String& p) { return entry.first < p; });

        if (found == keptIndex.end() || found->first != path)
            return nullptr;

        return &kept[found->second];
    };

    const auto indexIsCurrent = indexedData == kept.data() && indexedSize == kept.size();

    if (indexIsCurrent)
    {
        const auto* hit = lookUp();

        if (hit == nullptr || hit->path == path)
            return hit;
    }

    // Made afresh: kept was changed since the index was made, or not yet indexed.
    keptIndex.clear();
    keptIndex.reserve (kept.size());

    for (size_t i = 0; i < kept.size(); ++i)
        keptIndex.emplace_back (kept[i].path, i);

    // Stable, so that the first of equal paths comes first.
    std::stable_sort (keptIndex.begin(), keptIndex.end(),
                      [] (const auto& a, const auto& b) { return a.first < b.first; });
    indexedData = kept.data();
    indexedSize = kept.size();

    return lookUp();
}

juce::File ScanDetails::fileBeside (const juce::File& inventoryFile)
{
    if (inventoryFile == juce::File())
        return {};

    const auto name = inventoryFile.getFileName();
    const juce::String inventorySuffix (SettingsStore::inventorySuffix);
    const auto stem = name.endsWith (inventorySuffix) ? name.dropLastCharacters (inventorySuffix.length())
                                                      : inventoryFile.getFileNameWithoutExtension();

    return inventoryFile.getSiblingFile (stem + SettingsStore::scanDetailsSuffix);
}
