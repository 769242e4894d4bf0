#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** The standard plug-in folders that exist on this machine, for the Paths
    page's "Find Folders".

    On Windows: the VST folders under both Program Files folders
    ("VSTPlugins", "Steinberg\VSTPlugins", "Common Files\VST2"), the folders
    named by HKLM\SOFTWARE\VST "VSTPluginsPath" in both registry views, and
    Common Files\VST3, Common Files\CLAP and Common Files\Avid\Audio\Plug-Ins
    (of both Program Files folders). On Linux: the same folders inside each
    Wine prefix (~/.wine and $WINEPREFIX, drive_c read directly), and each
    plug-in folder of yabridge's configuration
    (~/.config/yabridgectl/config.toml), once for each format found in it.
*/
namespace PluginFolderFinder
{
    /** What the finder looks at: the file system, the environment and the
        registry. The system's is systemSources(); tests give their own.
        Called from a worker thread: implementations must be thread-safe.
    */
    class Sources
    {
    public:
        virtual ~Sources() = default;

        virtual bool isWindows() const = 0;
        virtual bool isFolder (const juce::String& path) const = 0;

        /** Whether the folder holds, at any depth, an entry with the extension (".dll"). */
        virtual bool holdsExtension (const juce::String& folder, const juce::String& extension) const = 0;

        /** A small text file's content ("" when missing or unreadable). */
        virtual juce::String readTextFile (const juce::String& path) const = 0;

        virtual juce::String getEnvironmentVariable (const juce::String& name) const = 0;
        virtual juce::String getHomeFolder() const = 0;

        /** A registry value as each registry view (64-bit, 32-bit) holds it; Windows only. */
        virtual juce::StringArray getRegistryValues (const juce::String& valuePath) const = 0;
    };

    const Sources& systemSources();

    struct Found
    {
        juce::String folder;
        int formatId = 0;

        bool operator== (const Found& other) const   { return folder == other.folder && formatId == other.formatId; }
    };

    /** The folders that exist, each with its format, without repeats, in the
        order of the list above. Blocks (any thread).
    */
    std::vector<Found> find (const Sources& sources);

    /** The folders of yabridge's configuration: the strings of its
        "plugin_dirs" array.
    */
    juce::StringArray readYabridgeFolders (const juce::String& configText);
}
