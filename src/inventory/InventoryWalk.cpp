#include "inventory/InventoryWalk.h"

#include "inventory/InventoryFileWriter.h"
#include "inventory/PluginFileInfo.h"
#include "inventory/VersionCleaning.h"

#include <optional>

namespace
{
    /** Appends the children in order. JUCE appends a child by walking the whole
        list of children, which makes a large inventory quadratic; relinking
        everything once per folder keeps the walk linear in the number of files.
    */
    void appendChildren (juce::XmlElement& parent, std::vector<std::unique_ptr<juce::XmlElement>>& newChildren)
    {
        std::vector<juce::XmlElement*> all;

        while (auto* first = parent.getFirstChildElement())
        {
            parent.removeChildElement (first, false);
            all.push_back (first);
        }

        for (auto& child : newChildren)
            all.push_back (child.release());

        newChildren.clear();

        for (auto it = all.rbegin(); it != all.rend(); ++it)
            parent.prependChildElement (*it);
    }
}

InventoryWalk::InventoryWalk (const SettingsStore& s,
                              const juce::StringArray& folderList,
                              const juce::StringArray& formatList,
                              const juce::File& inventory)
    : settings (s), folders (folderList), formats (formatList), inventoryFile (inventory)
{
}

void InventoryWalk::run (juce::XmlElement& root, const Callbacks& callbacks)
{
    uadCount = 0;
    bytesRead = 0;
    const auto numFolders = folders.size();
    InventoryFileWriter writer (root);

    for (int i = 0; i < numFolders; ++i)
    {
        const auto unknownPluginsFile = settings.getMachineFile (SettingsStore::unknownPluginsSuffix);
        const auto status = "Scanning Directory " + juce::String (i + 1) + " of " + juce::String (numFolders);

        // JUCE matches a recursive wildcard with the file system's letter case,
        // so every file is listed and the extension is compared here instead.
        // Symbolic links are followed, but never round in a circle.
        const auto folder = juce::File::isAbsolutePath (folders[i]) ? juce::File (folders[i]) : juce::File();
        std::vector<std::unique_ptr<juce::XmlElement>> found;
        std::unique_ptr<juce::FileOutputStream> unknownPlugins;
        std::optional<juce::uint32> progressReportedAt;

        for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*",
                                                                juce::File::findFiles,
                                                                juce::File::FollowSymlinks::noCycles))
        {
            const auto file = entry.getFile();

            if (! file.hasFileExtension (".dll"))
                continue;

            if (callbacks.shouldExit())
                break;

            handleFile (file, entry.getFileSize(), formats[i], found, unknownPluginsFile, unknownPlugins);

            callbacks.setStatus (status);

            // JUCE's estimate lists a folder's entries a second time when it is
            // first asked about that folder, which doubles the cost of the walk.
            // The progress window shows the value ten times a second, so the
            // estimate is taken for the first file of a scan folder and then at
            // most every progressIntervalMs.
            const auto now = juce::Time::getMillisecondCounter();

            if (! progressReportedAt.has_value() || now - *progressReportedAt >= progressIntervalMs)
            {
                callbacks.setProgress (entry.getEstimatedProgress());
                progressReportedAt = now;
            }
        }

        unknownPlugins.reset();

        for (const auto& plugin : found)
            writer.append (*plugin);

        appendChildren (root, found);
        writer.writeTo (inventoryFile);
    }
}

void InventoryWalk::handleFile (const juce::File& file, juce::int64 size, const juce::String& format,
                                std::vector<std::unique_ptr<juce::XmlElement>>& found,
                                const juce::File& unknownPluginsFile,
                                std::unique_ptr<juce::FileOutputStream>& unknownPlugins)
{
    const auto info = PluginFileInfo::read (file, size);
    bytesRead += info.bytesRead;

    // Identifiers made once: making one from text looks it up in JUCE's string pool.
    static const juce::Identifier pluginTag ("Plugin"), name ("Name"), version ("Version"), vendor ("Vendor"),
                                  path ("Path"), formatName ("Format"), error ("Error");

    const auto fullPath = file.getFullPathName();
    auto plugin = std::make_unique<juce::XmlElement> (pluginTag);
    plugin->setAttribute (name, info.name);
    plugin->setAttribute (version, info.version);
    plugin->setAttribute (vendor, info.vendor);
    plugin->setAttribute (path, fullPath);
    plugin->setAttribute (formatName, format);
    plugin->setAttribute (error, info.error);

    const auto cleaned = cleanVersion (info.version);
    plugin->setAttribute (version, cleaned);

    if (! cleaned.containsChar ('.'))
    {
        // Opened on the first rejection of a folder and kept open until its end:
        // JUCE syncs a file to disk whenever a stream on it is flushed or closed.
        if (unknownPlugins == nullptr)
            unknownPlugins = std::make_unique<juce::FileOutputStream> (unknownPluginsFile);

        if (unknownPlugins->openedOk())
            unknownPlugins->writeText (fullPath + "\r\n", false, false, nullptr);

        return;
    }

    // Only the first of these in a whole run stays; later ones are dropped silently.
    if (info.name == uadPluginName && ++uadCount > 1)
        return;

    found.push_back (std::move (plugin));
}
