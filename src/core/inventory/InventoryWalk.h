#pragma once

#include "core/tables/ScanDetails.h"
#include "core/settings/SettingsStore.h"

#include <functional>

/** The walk of a scan: every ".dll" below each folder (at any depth, hidden
    files too, the extension in any letter case) becomes a "Plugin" element of
    the inventory, in the order met, with Name, Version (cleaned), Vendor, Path,
    Format and Error. Files whose cleaned version has no "." go to the
    unknown-plug-ins file instead, and only the first "UAD Powered Plug-Ins" of
    a walk is kept. The inventory file is rewritten whole after every folder,
    and so is the scan details file beside it (ScanDetails::fileBeside), which
    lists the plug-ins kept with their versions as stated and the files turned
    away with the reason, its update check still pending.

    Runs on the scan's worker thread; it touches no component.
*/
class InventoryWalk
{
public:
    /** How the walk reports to, and is stopped by, whoever runs it. Each
        function is called on the walking thread.
    */
    struct Callbacks
    {
        std::function<bool()> shouldExit;
        std::function<void (const juce::String&)> setStatus;
        std::function<void (double)> setProgress;
    };

    /** folders and formats run in parallel: formats[i] is the format name
        ("VST", "VST3", "CLAP", "AAX", or any other, read as "VST") of
        folders[i]; PluginFormats says what each reads.
    */
    InventoryWalk (const SettingsStore& settings,
                   const juce::StringArray& folders,
                   const juce::StringArray& formats,
                   const juce::File& inventoryFile);

    /** Walks every folder. The inventory file holds the machine profile as its
        root with the plug-ins found so far as its children; when asked to stop,
        the walk ends the current folder at once and leaves the later folders
        unopened, but still writes the file for each of them.
    */
    void run (const juce::XmlElement& machineProfile, const Callbacks& callbacks);

    /** The number of plug-ins the last run() kept in the inventory. */
    int getNumPlugins() const noexcept             { return numPlugins; }

    /** Bytes read from plug-in files by the last run(). */
    juce::uint64 getBytesRead() const noexcept     { return bytesRead; }

    /** The full paths of the files (the inventory, the unknown-plug-ins file,
        the scan details) that the last run() could not write, each named once.
    */
    const juce::StringArray& getUnwrittenFiles() const noexcept   { return unwrittenFiles; }

    /** What the last run() kept and turned away, as written to the details file. */
    const ScanDetails& getDetails() const noexcept   { return details; }

    static constexpr const char* uadPluginName = "UAD Powered Plug-Ins";

    /** The status is reported after every file, the progress after the first
        file of each folder and then at most this often.
    */
    static constexpr juce::uint32 progressIntervalMs = 50;

private:
    class FolderWalk;

    void noteUnwritten (const juce::File& file);

    const SettingsStore& settings;
    const juce::StringArray folders, formats;
    const juce::File inventoryFile, detailsFile;
    ScanDetails details;
    int uadCount = 0, numPlugins = 0;
    juce::uint64 bytesRead = 0;
    juce::StringArray unwrittenFiles;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InventoryWalk)
};
