// Times what the Installed table's 500 ms reload costs the message thread
// over an inventory of 5,000 plug-ins: an idle tick (the file unchanged since
// the last one), the tick after a scan replaced the file, and a click on a
// header. The file is read, parsed and sorted on the table's reload thread;
// the message thread's slices are the request and the showing of the ready
// rows, each of which should stay well under 5 ms. "reload thread ms" is the
// time from the request to the rows being ready.
//
// "filterKeyPress" times a key typed into the filter field above the 5,000
// rows: the rows filtered and the visible ones painted (which should stay
// under 16 ms, one frame).
//
// Usage: table-benchmark [Google Benchmark options]

#include "gui/views/InstalledTab.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace
{
    constexpr int numPlugins = 5000;

    class NoDesktop final : public DesktopServices
    {
    public:
        int showAlert (const AlertRequest&) override                             { return 0; }
        bool openUrl (const juce::URL&) override                                 { return false; }
        juce::File chooseFolder (const juce::String&, const juce::File&) override { return {}; }
    };

    /** A data folder with a profile and two inventories of numPlugins plug-ins
        that differ in their order, so that each replacement is a new file.
    */
    struct Fixture
    {
        Fixture()
        {
            folder.createDirectory();
            SettingsStore::writeDocument (profile(), settings.getProfileFile());

            for (int variant = 0; variant < 2; ++variant)
                SettingsStore::writeDocument (*inventory (variant), folder.getChildFile ("variant" + juce::String (variant) + ".xml"));

            replaceInventory (0);
        }

        ~Fixture()   { folder.deleteRecursively(); }

        /** Replaces the inventory whole, as the scan does. */
        void replaceInventory (int variant) const
        {
            const auto temporary = folder.getChildFile ("next.xml");
            folder.getChildFile ("variant" + juce::String (variant) + ".xml").copyFileTo (temporary);
            temporary.moveFileTo (settings.getMachineFile (SettingsStore::inventorySuffix));
        }

        static juce::XmlElement profile()
        {
            juce::XmlElement element ("CobaltlineProfile");
            element.setAttribute ("MachineName", "Bench");
            element.setAttribute ("Email", "a@b.c");
            element.setAttribute ("Password", "00");
            return element;
        }

        static std::unique_ptr<juce::XmlElement> inventory (int variant)
        {
            auto root = std::make_unique<juce::XmlElement> ("MachineProfile");
            root->setAttribute ("MachineName", "Bench");
            juce::Random random (variant + 1);

            for (int i = 0; i < numPlugins; ++i)
            {
                auto* plugin = root->createNewChildElement ("Plugin");
                const auto vendor = "Vendor " + juce::String (random.nextInt (200));
                plugin->setAttribute ("Name", "Plug-in " + juce::String::toHexString (random.nextInt64()));
                plugin->setAttribute ("Version", juce::String (random.nextInt (20)) + "." + juce::String (random.nextInt (100)));
                plugin->setAttribute ("Vendor", vendor);
                plugin->setAttribute ("Path", "C:\\Program Files\\VSTPlugins\\" + vendor + "\\plugin" + juce::String (i) + ".dll");
                plugin->setAttribute ("Format", "VST");
                plugin->setAttribute ("Error", "");
            }

            return root;
        }

        const juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                      .getChildFile ("cobaltline-table-bench-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));
        const SettingsStore settings { folder };
        const ServiceEndpoint service { "http://127.0.0.1:9" };
        NoDesktop desktop;
    };

    Fixture* fixture = nullptr;

    using SteadyClock = std::chrono::steady_clock;

    double secondsSince (SteadyClock::time_point start)
    {
        return std::chrono::duration<double> (SteadyClock::now() - start).count();
    }

    /** An Installed table of the fixture's inventory, with its first rows shown. */
    struct ShownTable
    {
        ShownTable()
        {
            table.setSize (880, 700);
            table.timerCallback();
            waitForNewRows();
        }

        /** Waits for the reload thread's next rows and shows them as the
            posted call would; returns the seconds that the showing took on
            this (the message) thread. The calls that find nothing ready are
            left out: each is a look under a lock.
        */
        double waitForNewRows (double* secondsWaited = nullptr)
        {
            const auto* before = table.getRow (0);
            const auto start = SteadyClock::now();

            for (;;)
            {
                const auto sliceStart = SteadyClock::now();
                table.showReadyRows();
                const auto slice = secondsSince (sliceStart);

                if (table.getRow (0) != before)
                {
                    if (secondsWaited != nullptr)
                        *secondsWaited = secondsSince (start);

                    return slice;
                }

                if (secondsSince (start) > 30.0)
                {
                    std::fprintf (stderr, "no rows came from the reload thread\n");
                    std::abort();
                }

                std::this_thread::sleep_for (std::chrono::microseconds (200));
            }
        }

        InstalledTableList table { { fixture->settings, fixture->service, fixture->desktop, Clock::system(), "1.0.4" } };
    };

    /** Reports the slices of the message thread: each iteration's time is
        the slices of one tick together, and "longest slice" the longest one.
    */
    void reportSlices (benchmark::State& state, ShownTable& shown, double longest, double waited, int newRows)
    {
        state.counters["rows"] = shown.table.getNumRows();
        state.counters["longest slice ms"] = longest * 1000.0;

        if (newRows > 0)
            state.counters["reload thread ms"] = benchmark::Counter (waited * 1000.0 / newRows);
    }

    /** An idle tick: the file has not changed since the last one. */
    void idleTick (benchmark::State& state)
    {
        ShownTable shown;
        auto longest = 0.0;

        for (auto _ : state)
        {
            const auto start = SteadyClock::now();
            shown.table.timerCallback();
            shown.table.showReadyRows();   // what the posted call finds: nothing
            const auto slice = secondsSince (start);

            state.SetIterationTime (slice);
            longest = juce::jmax (longest, slice);

            state.PauseTiming();
            std::this_thread::sleep_for (std::chrono::milliseconds (2));   // the thread's look at the file
            state.ResumeTiming();
        }

        reportSlices (state, shown, longest, 0.0, 0);
    }

    /** Times, in each iteration, a request made on the message thread
        (before it, prepare() runs untimed) and the showing of the rows the
        reload thread makes for it.
    */
    template <typename Prepare, typename Request>
    void timeRequests (benchmark::State& state, Prepare&& prepare, Request&& request)
    {
        ShownTable shown;
        auto longest = 0.0, waited = 0.0;
        auto newRows = 0;

        for (auto _ : state)
        {
            prepare();

            const auto start = SteadyClock::now();
            request (shown.table);
            const auto asking = secondsSince (start);

            auto waitedNow = 0.0;
            const auto showing = shown.waitForNewRows (&waitedNow);

            state.SetIterationTime (asking + showing);
            longest = juce::jmax (longest, asking, showing);
            waited += waitedNow;
            ++newRows;
        }

        reportSlices (state, shown, longest, waited, newRows);
    }

    /** The tick after a scan replaced the file: the tick's request, then the
        showing of the rows that the reload thread read, parsed and sorted.
    */
    void tickAfterANewInventory (benchmark::State& state)
    {
        auto variant = 0;
        timeRequests (state,
                      [&] { variant = 1 - variant; fixture->replaceInventory (variant); },
                      [] (PluginTableList& table) { table.timerCallback(); });
    }

    /** A click on a header: the request, then the showing of the re-sorted copy. */
    void headerClick (benchmark::State& state)
    {
        auto forwards = true;
        timeRequests (state,
                      [&] { forwards = ! forwards; },
                      [&] (PluginTableList& table) { table.sortOrderChanged (2, forwards); });
    }

    /** A key typed into the filter: the rows are filtered and the visible
        ones painted. (The field tells of the change through the message
        loop, one message more.)
    */
    void filterKeyPress (benchmark::State& state)
    {
        ShownTable shown;
        auto& rows = shown.table.getTable();
        const juce::StringArray typed { "v", "ve", "ven", "vend", "vendo", "vendor", "vendor 1", "vendor 17",
                                        "vendor 1", "vendor", "a", "" };
        auto longest = 0.0;
        auto next = 0;

        for (auto _ : state)
        {
            const auto start = SteadyClock::now();
            shown.table.setFilterText (typed[next++ % typed.size()]);
            const auto painted = rows.createComponentSnapshot (rows.getLocalBounds());
            const auto slice = secondsSince (start);
            benchmark::DoNotOptimize (painted);

            state.SetIterationTime (slice);
            longest = juce::jmax (longest, slice);
        }

        state.counters["rows"] = shown.table.getNumRowsInFile();
        state.counters["longest ms"] = longest * 1000.0;
    }
}

// The iterations are fixed: each one waits for the reload thread, which the
// message thread's times, being small, would otherwise call for by the million.
BENCHMARK (idleTick)->UseManualTime()->Iterations (200)->Unit (benchmark::kMicrosecond);
BENCHMARK (tickAfterANewInventory)->UseManualTime()->Iterations (40)->Unit (benchmark::kMicrosecond);
BENCHMARK (headerClick)->UseManualTime()->Iterations (40)->Unit (benchmark::kMicrosecond);
BENCHMARK (filterKeyPress)->UseManualTime()->Iterations (120)->Unit (benchmark::kMicrosecond);

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI gui;
    benchmark::Initialize (&argc, argv);

    Fixture data;
    fixture = &data;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
