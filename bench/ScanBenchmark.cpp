// Times the scanner's walk over a tree of plug-in files against a plain walk
// that opens each file and reads its first 4 KiB, and reports how much of each
// file the scanner read and how much memory it needed.
//
// Usage: scan-benchmark FIXTURE_DIR [WORK_DIR] [NUM_FILES] [DATA_DIR]
//
// DATA_DIR is where the inventory file is written after each scan folder
// (default: inside WORK_DIR); putting it on a tmpfs separates the cost of the
// walk and the reading from the cost of the file system's atomic replace.

#include "core/inventory/InventoryWalk.h"
#include "core/inventory/MachineProfile.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <vector>

namespace
{
    // Like a studio's plug-in folders: a few scan folders (one per format),
    // each holding a folder per vendor.
    constexpr int numScanFolders = 4;
    constexpr int filesPerVendor = 50;
    constexpr juce::int64 hugeSize = 120 * 1024 * 1024;

    long peakRssKiB()
    {
        rusage usage {};
        getrusage (RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    }

    /** numFiles copies of the fixture DLLs spread over the scan folders' vendor
        folders; when everyHuge > 0, every everyHuge-th file is padded (sparsely)
        to 120 MB.
    */
    juce::StringArray makeTree (const juce::File& root, const juce::Array<juce::File>& sources, int numFiles, int everyHuge)
    {
        juce::StringArray folders;

        for (int i = 0; i < numScanFolders; ++i)
            folders.add (root.getChildFile ("Plugins" + juce::String (i)).getFullPathName());

        for (int i = 0; i < numFiles; ++i)
        {
            const auto vendor = i / filesPerVendor;
            const auto folder = juce::File (folders[vendor % numScanFolders]).getChildFile ("Vendor" + juce::String (vendor));
            folder.createDirectory();

            const auto target = folder.getChildFile ("plugin" + juce::String (i) + ".dll");
            sources[i % sources.size()].copyFileTo (target);

            if (everyHuge > 0 && i % everyHuge == 0)
                if (truncate (target.getFullPathName().toRawUTF8(), hugeSize) != 0)
                    std::cerr << "cannot pad " << target.getFullPathName() << "\n";
        }

        return folders;
    }

    double plainWalk (const juce::StringArray& folders)
    {
        const auto start = juce::Time::getHighResolutionTicks();
        char buffer[4096];
        juce::int64 total = 0;

        for (const auto& folder : folders)
        {
            for (const auto& entry : juce::RangedDirectoryIterator (juce::File (folder), true, "*", juce::File::findFiles,
                                                                    juce::File::FollowSymlinks::noCycles))
            {
                if (! entry.getFile().hasFileExtension (".dll"))
                    continue;

                juce::FileInputStream in (entry.getFile());
                total += in.read (buffer, (int) sizeof (buffer));
            }
        }

        juce::ignoreUnused (total);
        return juce::Time::highResolutionTicksToSeconds (juce::Time::getHighResolutionTicks() - start);
    }

    struct ScanFigures
    {
        double seconds = 0;
        juce::uint64 bytesRead = 0;
        int plugins = 0;
    };

    ScanFigures scannerWalk (const SettingsStore& store, const juce::StringArray& folders, const juce::File& inventory)
    {
        juce::StringArray formats;
        for (int i = 0; i < folders.size(); ++i)
            formats.add ("VST");

        const auto start = juce::Time::getHighResolutionTicks();
        const auto profile = makeMachineProfile ("Bench", MachineFacts::gather (Clock::system()));
        InventoryWalk walk (store, folders, formats, inventory);
        walk.run (*profile, { [] { return false; }, [] (const juce::String&) {}, [] (double) {} });

        ScanFigures figures;
        figures.seconds = juce::Time::highResolutionTicksToSeconds (juce::Time::getHighResolutionTicks() - start);
        figures.bytesRead = walk.getBytesRead();
        figures.plugins = walk.getNumPlugins();
        return figures;
    }

    double median (std::vector<double> times)
    {
        std::sort (times.begin(), times.end());
        return times[times.size() / 2];
    }
}

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::cerr << "usage: scan-benchmark FIXTURE_DIR [WORK_DIR] [NUM_FILES] [DATA_DIR]\n";
        return 2;
    }

    const juce::File fixtures (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    const auto work = argc > 2 ? juce::File::getCurrentWorkingDirectory().getChildFile (argv[2])
                               : juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("cobaltline-scan-bench");
    const auto numFiles = argc > 3 ? juce::String (argv[3]).getIntValue() : 5000;

    auto sources = fixtures.getChildFile ("plugins/version").findChildFiles (juce::File::findFiles, false, "*.dll");
    sources.sort();

    if (sources.isEmpty())
    {
        std::cerr << "no fixture DLLs below " << fixtures.getFullPathName() << "\n";
        return 2;
    }

    const auto dataFolder = argc > 4 ? juce::File::getCurrentWorkingDirectory().getChildFile (argv[4])
                                     : work.getChildFile ("data");
    SettingsStore store (dataFolder);
    const auto inventory = dataFolder.getChildFile ("Bench_PluginList.xml");
    constexpr int runs = 11;

    std::cout << "scan benchmark: " << numFiles << " files in " << numScanFolders << " scan folders, median of "
              << runs << " warm runs; inventory written to " << dataFolder.getFullPathName() << "\n\n";

    struct TreeKind { const char* name; int everyHuge; juce::StringArray folders; };

    // Both trees are made before anything is timed: ext4 (without a journal)
    // searches past recently deleted inodes when it creates a file, which
    // would otherwise slow down the temporary files of the inventory writes.
    work.deleteRecursively();
    std::vector<TreeKind> kinds { { "1 in 50 files padded to 120 MB", 50, {} },
                                  { "every file padded to 120 MB", 1, {} } };

    for (size_t k = 0; k < kinds.size(); ++k)
        kinds[k].folders = makeTree (work.getChildFile ("tree" + juce::String ((int) k)), sources, numFiles, kinds[k].everyHuge);

    for (const auto& kind : kinds)
    {
        const auto& folders = kind.folders;

        plainWalk (folders);            // warm the cache
        scannerWalk (store, folders, inventory);

        // The two walks take turns, so that both see the same disturbances.
        const auto rssBefore = peakRssKiB();
        std::vector<double> plainTimes, scanTimes;
        ScanFigures figures;

        for (int run = 0; run < runs; ++run)
        {
            plainTimes.push_back (plainWalk (folders));
            figures = scannerWalk (store, folders, inventory);
            scanTimes.push_back (figures.seconds);
        }

        const auto rssAfter = peakRssKiB();
        const auto plain = median (plainTimes);
        const auto scan = median (scanTimes);

        std::cout << "tree: " << kind.name << "\n"
                  << "  plain walk (open + read 4 KiB): " << juce::String (plain * 1000.0, 1) << " ms, "
                  << juce::String (numFiles / plain, 0) << " files/s\n"
                  << "  scanner walk:                   " << juce::String (scan * 1000.0, 1) << " ms, "
                  << juce::String (numFiles / scan, 0) << " files/s, " << figures.plugins << " plug-ins kept\n"
                  << "  bytes read per file:            " << juce::String ((double) figures.bytesRead / numFiles, 0) << "\n"
                  << "  ratio scanner / plain:          " << juce::String (scan / plain, 2) << "\n"
                  << "  peak RSS: " << rssBefore / 1024 << " MiB before, " << rssAfter / 1024 << " MiB after\n\n";
    }

    work.deleteRecursively();

    if (argc > 4)
        dataFolder.deleteRecursively();

    return 0;
}
