#include "core/inventory/PluginFolderFinder.h"
#include "core/inventory/PluginFormats.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace
{
    /** A machine made of a few facts: its folders, files, variables and registry. */
    struct FakeMachine final : public PluginFolderFinder::Sources
    {
        bool windows = false;
        std::set<juce::String> folders;
        std::set<std::pair<juce::String, juce::String>> extensions;   // folder, extension found in it
        std::map<juce::String, juce::String> files, variables;
        juce::StringArray registry;
        juce::String home;

        bool isWindows() const override                                   { return windows; }
        bool isFolder (const juce::String& path) const override           { return folders.count (path) > 0; }
        juce::String readTextFile (const juce::String& path) const override
        {
            const auto file = files.find (path);
            return file != files.end() ? file->second : juce::String();
        }
        bool holdsExtension (const juce::String& folder, const juce::String& extension) const override
        {
            return isFolder (folder) && extensions.count ({ folder, extension }) > 0;
        }
        juce::String getEnvironmentVariable (const juce::String& name) const override
        {
            const auto value = variables.find (name);
            return value != variables.end() ? value->second : juce::String();
        }
        juce::String getHomeFolder() const override                        { return home; }
        juce::StringArray getRegistryValues (const juce::String& path) const override
        {
            return path == "HKEY_LOCAL_MACHINE\\SOFTWARE\\VST\\VSTPluginsPath" ? registry : juce::StringArray();
        }
    };

    using Found = PluginFolderFinder::Found;
    using PluginFormats::vst, PluginFormats::vst3, PluginFormats::clap, PluginFormats::aax;
}

TEST (PluginFolderFinder, OnWindowsTheStandardFoldersThatExistAndTheRegistrysOnes)
{
    FakeMachine machine;
    machine.windows = true;
    machine.variables = { { "ProgramFiles", "C:\\Program Files" }, { "ProgramFiles(x86)", "C:\\Program Files (x86)" },
                          { "CommonProgramFiles", "C:\\Program Files\\Common Files" },
                          { "CommonProgramFiles(x86)", "C:\\Program Files (x86)\\Common Files" } };
    machine.registry = { "D:\\VST", "C:\\Program Files\\VSTPlugins" };   // 64-bit view, 32-bit view
    machine.folders = { "C:\\Program Files\\VSTPlugins", "C:\\Program Files (x86)\\Steinberg\\VSTPlugins",
                        "C:\\Program Files\\Common Files\\VST3", "C:\\Program Files\\Common Files\\CLAP",
                        "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins", "D:\\VST" };

    const std::vector<Found> expected {
        { "C:\\Program Files\\VSTPlugins", vst },
        { "C:\\Program Files (x86)\\Steinberg\\VSTPlugins", vst },
        { "C:\\Program Files\\Common Files\\VST3", vst3 },
        { "C:\\Program Files\\Common Files\\CLAP", clap },
        { "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins", aax },
        { "D:\\VST", vst },   // the registry's; its other view names one listed already
    };
    EXPECT_EQ (PluginFolderFinder::find (machine), expected);
}

TEST (PluginFolderFinder, OnLinuxTheWinePrefixesAndYabridgesFoldersWithEachFormatInThem)
{
    FakeMachine machine;
    machine.home = "/home/me";
    machine.variables = { { "WINEPREFIX", "/games/prefix/" } };
    machine.files = { { "/home/me/.config/yabridgectl/config.toml",
                        "method = \"files\"\nplugin_dirs = [\n  \"/home/me/plugins\",\n  '/opt/empty',\n  \"/gone\",\n]\n" } };
    machine.folders = { "/home/me/.wine/drive_c/Program Files/Common Files/VST3",
                        "/games/prefix/drive_c/Program Files (x86)/VSTPlugins",
                        "/home/me/plugins", "/opt/empty" };
    machine.extensions = { { "/home/me/plugins", ".dll" }, { "/home/me/plugins", ".clap" } };

    const std::vector<Found> expected {
        { "/home/me/.wine/drive_c/Program Files/Common Files/VST3", vst3 },
        { "/games/prefix/drive_c/Program Files (x86)/VSTPlugins", vst },
        { "/home/me/plugins", vst },
        { "/home/me/plugins", clap },
    };
    EXPECT_EQ (PluginFolderFinder::find (machine), expected);

    // Nothing at all: no home, no prefix, no configuration.
    EXPECT_TRUE (PluginFolderFinder::find (FakeMachine {}).empty());
}
