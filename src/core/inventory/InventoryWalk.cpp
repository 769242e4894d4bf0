#include "core/inventory/InventoryWalk.h"

#include "core/inventory/InventoryFileWriter.h"
#include "core/inventory/PluginFileInfo.h"
#include "core/inventory/PluginFormats.h"
#include "core/inventory/VersionCleaning.h"
#include "core/tables/PluginRow.h"

#include <optional>

/** One scan folder of a walk: its plug-ins go to the inventory writer, its
    rejected files to the unknown-plug-ins file.
*/
class InventoryWalk::FolderWalk
{
public:
    FolderWalk (InventoryWalk& w, InventoryFileWriter& out, const juce::String& formatName, const juce::File& unknown)
        : walk (w), writer (out), format (formatName), unknownPluginsFile (unknown)
    {
    }

    /** Reads the plug-in file, which is listed by the path of listedAs (a
        bundle's folder, or the file itself).
    */
    void handleFile (const juce::File& file, juce::int64 size, const juce::File& listedAs)
    {
        if (file == juce::File())
        {
            reject (listedAs.getFullPathName(), {}, ScanDetails::Reason::noBinaryInBundle);
            return;
        }

        const auto info = PluginFileInfo::read (file, size);
        walk.bytesRead += info.bytesRead;

        PluginRow plugin;
        plugin.name = info.name;
        plugin.installedVersion = cleanVersion (info.version);
        plugin.vendor = info.vendor;
        plugin.path = listedAs.getFullPathName();
        plugin.format = format;
        plugin.error = info.error;

        if (! plugin.installedVersion.containsChar ('.'))
        {
            reject (plugin.path, info.version, reasonFor (info));
            return;
        }

        // Only the first of these in a whole run stays; later ones are dropped silently.
        if (info.name == uadPluginName && ++walk.uadCount > 1)
            return;

        writer.append (plugin.toInventoryElement());
        walk.details.kept.push_back ({ plugin.path, plugin.name, plugin.vendor, format, info.version });
        ++walk.numPlugins;
    }

    /** Writes out what is left of the unknown-plug-ins file; call at the end of the folder. */
    void finish()
    {
        if (unknownPlugins == nullptr || ! unknownPlugins->openedOk())
            return;

        unknownPlugins->flush();

        if (unknownPlugins->getStatus().failed())
            walk.noteUnwritten (unknownPluginsFile);
    }

private:
    /** Why a file whose version holds no "." once cleaned is turned away. */
    static ScanDetails::Reason reasonFor (const PluginFileInfo& info)
    {
        if (info.error == PluginFileInfo::noVersionInformation)
            return ScanDetails::Reason::noVersionResource;

        if (info.error == PluginFileInfo::problemRetrievingInformation && info.version.isEmpty())
            return ScanDetails::Reason::noCompleteStringTable;

        return ScanDetails::Reason::noVersionNumber;
    }

    void reject (const juce::String& fullPath, const juce::String& statedVersion, ScanDetails::Reason reason)
    {
        walk.details.rejected.push_back ({ fullPath, format, statedVersion, reason });

        // Opened on the first rejection of the folder and kept open until its
        // end: JUCE syncs a file to disk whenever a stream on it is flushed.
        if (unknownPlugins == nullptr)
            unknownPlugins = std::make_unique<juce::FileOutputStream> (unknownPluginsFile);

        if (! unknownPlugins->openedOk() || ! unknownPlugins->writeText (fullPath + "\r\n", false, false, nullptr))
            walk.noteUnwritten (unknownPluginsFile);
    }

    InventoryWalk& walk;
    InventoryFileWriter& writer;
    const juce::String format;
    const juce::File unknownPluginsFile;
    std::unique_ptr<juce::FileOutputStream> unknownPlugins;
};

InventoryWalk::InventoryWalk (const SettingsStore& s,
                              const juce::StringArray& folderList,
                              const juce::StringArray& formatList,
                              const juce::File& inventory)
    : settings (s), folders (folderList), formats (formatList), inventoryFile (inventory),
      detailsFile (ScanDetails::fileBeside (inventory))
{
}

void InventoryWalk::run (const juce::XmlElement& machineProfile, const Callbacks& callbacks)
{
    uadCount = 0;
    numPlugins = 0;
    bytesRead = 0;
    unwrittenFiles.clear();
    details = {};

    const auto numFolders = folders.size();
    InventoryFileWriter writer (machineProfile);

    for (int i = 0; i < numFolders; ++i)
    {
        if (! callbacks.shouldExit())
        {
            FolderWalk folderWalk (*this, writer, formats[i],
                                   settings.getMachineFile (SettingsStore::unknownPluginsSuffix));
            const auto status = "Scanning Directory " + juce::String (i + 1) + " of " + juce::String (numFolders);
            const auto folder = juce::File::isAbsolutePath (folders[i]) ? juce::File (folders[i]) : juce::File();
            std::optional<juce::uint32> progressReportedAt;
            juce::File bundle;   // the last bundle met: its contents are not walked

            // JUCE matches a recursive wildcard with the file system's letter
            // case, so every entry is listed and the extension compared here.
            // Folders are listed too, so that a stop request is seen between
            // any two entries, also in trees without a single plug-in.
            // Symbolic links are followed, but never round in a circle.
            for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*",
                                                                    juce::File::findFilesAndDirectories,
                                                                    juce::File::FollowSymlinks::noCycles))
            {
                if (callbacks.shouldExit())
                    break;

                // The iterator lists a folder's contents right after the folder.
                if (bundle != juce::File() && entry.getFile().isAChildOf (bundle))
                    continue;

                const auto found = PluginFormats::find (formats[i], entry.getFile(), entry.isDirectory());

                if (! found.has_value())
                    continue;

                if (found->isBundle)
                    bundle = entry.getFile();

                folderWalk.handleFile (found->binary, found->isBundle ? found->binary.getSize() : entry.getFileSize(),
                                       found->listedAs);
                callbacks.setStatus (status);

                // JUCE's estimate lists a folder's entries a second time when it
                // is first asked about that folder, which doubles the cost of
                // the walk. The progress window shows the value ten times a
                // second, so it is taken for the first file of a scan folder
                // and then at most every progressIntervalMs.
                const auto now = juce::Time::getMillisecondCounter();

                if (! progressReportedAt.has_value() || now - *progressReportedAt >= progressIntervalMs)
                {
                    callbacks.setProgress (entry.getEstimatedProgress());
                    progressReportedAt = now;
                }
            }

            folderWalk.finish();
        }

        if (! writer.writeTo (inventoryFile))
            noteUnwritten (inventoryFile);

        if (! details.writeTo (detailsFile))
            noteUnwritten (detailsFile);
    }
}

void InventoryWalk::noteUnwritten (const juce::File& file)
{
    unwrittenFiles.addIfNotAlreadyThere (file.getFullPathName());
}
