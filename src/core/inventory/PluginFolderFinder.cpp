#include "core/inventory/PluginFolderFinder.h"

#include "core/inventory/PluginFormats.h"

namespace
{
    juce::String join (const juce::String& parent, const juce::String& child, const juce::String& separator)
    {
        if (parent.isEmpty())
            return {};

        return parent.trimCharactersAtEnd ("\\/") + separator + child;
    }

    /** The Windows candidates below the Program Files folders given, with the separator. */
    void addWindowsCandidates (std::vector<PluginFolderFinder::Found>& out, const juce::StringArray& programFiles,
                               const juce::StringArray& commonFiles, const juce::String& s)
    {
        using namespace PluginFormats;

        for (const auto& folder : programFiles)
        {
            out.push_back ({ join (folder, "VSTPlugins", s), vst });
            out.push_back ({ join (folder, "Steinberg" + s + "VSTPlugins", s), vst });
        }

        for (const auto& folder : commonFiles)
            out.push_back ({ join (folder, "VST2", s), vst });

        for (const auto& folder : commonFiles)
        {
            out.push_back ({ join (folder, "VST3", s), vst3 });
            out.push_back ({ join (folder, "CLAP", s), clap });
            out.push_back ({ join (folder, "Avid" + s + "Audio" + s + "Plug-Ins", s), aax });
        }
    }

    class SystemSources final : public PluginFolderFinder::Sources
    {
    public:
        bool isWindows() const override
        {
           #if JUCE_WINDOWS
            return true;
           #else
            return false;
           #endif
        }

        bool isFolder (const juce::String& path) const override
        {
            return juce::File::isAbsolutePath (path) && juce::File (path).isDirectory();
        }

        bool holdsExtension (const juce::String& folder, const juce::String& extension) const override
        {
            if (! isFolder (folder))
                return false;

            // Bounded: a folder of a million files is not walked to its end here.
            int looked = 0;

            for (const auto& entry : juce::RangedDirectoryIterator (juce::File (folder), true, "*",
                                                                    juce::File::findFilesAndDirectories,
                                                                    juce::File::FollowSymlinks::noCycles))
            {
                if (entry.getFile().getFileExtension().equalsIgnoreCase (extension))
                    return true;

                if (++looked > maxEntries)
                    break;
            }

            return false;
        }

        juce::String readTextFile (const juce::String& path) const override
        {
            const juce::File file (juce::File::isAbsolutePath (path) ? path : juce::String());

            if (! file.existsAsFile() || file.getSize() > maxConfigBytes)
                return {};

            return file.loadFileAsString();
        }

        juce::String getEnvironmentVariable (const juce::String& name) const override
        {
            return juce::SystemStats::getEnvironmentVariable (name, {});
        }

        juce::String getHomeFolder() const override
        {
            return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getFullPathName();
        }

        juce::StringArray getRegistryValues (const juce::String& valuePath) const override
        {
            juce::StringArray values;
           #if JUCE_WINDOWS
            for (const auto mode : { juce::WindowsRegistry::WoW64_64bit, juce::WindowsRegistry::WoW64_32bit })
                values.add (juce::WindowsRegistry::getValue (valuePath, {}, mode));
           #else
            juce::ignoreUnused (valuePath);
           #endif
            return values;
        }

    private:
        static constexpr int maxEntries = 20000;
        static constexpr juce::int64 maxConfigBytes = 1024 * 1024;
    };
}

namespace PluginFolderFinder
{
const Sources& systemSources()
{
    static const SystemSources sources;
    return sources;
}

juce::StringArray readYabridgeFolders (const juce::String& configText)
{
    juce::StringArray folders;

    // plugin_dirs = ["/a", '/b'] (TOML), perhaps over several lines.
    const auto start = configText.indexOf ("plugin_dirs");

    if (start < 0)
        return folders;

    const auto open = configText.indexOfChar (start, '[');
    const auto close = open < 0 ? -1 : configText.indexOfChar (open, ']');

    if (open < 0 || close < 0)
        return folders;

    const auto list = configText.substring (open + 1, close);

    for (int i = 0; i < list.length(); ++i)
    {
        const auto quote = list[i];

        if (quote != '"' && quote != '\'')
            continue;

        const auto end = list.indexOfChar (i + 1, quote);

        if (end < 0)
            break;

        folders.add (list.substring (i + 1, end));
        i = end;
    }

    return folders;
}

std::vector<Found> find (const Sources& sources)
{
    std::vector<Found> candidates;

    if (sources.isWindows())
    {
        const juce::StringArray programFiles { sources.getEnvironmentVariable ("ProgramFiles"),
                                               sources.getEnvironmentVariable ("ProgramFiles(x86)") };
        const juce::StringArray commonFiles { sources.getEnvironmentVariable ("CommonProgramFiles"),
                                              sources.getEnvironmentVariable ("CommonProgramFiles(x86)") };
        addWindowsCandidates (candidates, programFiles, commonFiles, "\\");

        for (const auto& folder : sources.getRegistryValues ("HKEY_LOCAL_MACHINE\\SOFTWARE\\VST\\VSTPluginsPath"))
            candidates.push_back ({ folder, PluginFormats::vst });
    }
    else
    {
        const auto home = sources.getHomeFolder();
        juce::StringArray prefixes { join (home, ".wine", "/"), sources.getEnvironmentVariable ("WINEPREFIX") };

        for (const auto& prefix : prefixes)
        {
            const auto driveC = join (prefix, "drive_c", "/");
            const juce::StringArray programFiles { join (driveC, "Program Files", "/"),
                                                   join (driveC, "Program Files (x86)", "/") };
            const juce::StringArray commonFiles { join (programFiles[0], "Common Files", "/"),
                                                  join (programFiles[1], "Common Files", "/") };
            addWindowsCandidates (candidates, programFiles, commonFiles, "/");
        }

        const auto config = sources.readTextFile (join (home, ".config/yabridgectl/config.toml", "/"));

        for (const auto& folder : readYabridgeFolders (config))
            for (const auto& [extension, format] : { std::pair<const char*, int> { ".dll", PluginFormats::vst },
                                                     std::pair<const char*, int> { ".vst3", PluginFormats::vst3 },
                                                     std::pair<const char*, int> { ".clap", PluginFormats::clap } })
                if (sources.holdsExtension (folder, extension))
                    candidates.push_back ({ folder, format });
    }

    std::vector<Found> found;

    for (auto& candidate : candidates)
    {
        candidate.folder = candidate.folder.trim();

        if (candidate.folder.isEmpty() || std::find (found.begin(), found.end(), candidate) != found.end())
            continue;

        if (sources.isFolder (candidate.folder))
            found.push_back (std::move (candidate));
    }

    return found;
}
}
