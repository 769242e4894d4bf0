// Times the Installed table's 500 ms reload over an inventory of 5,000
// plug-ins: an idle tick (the file unchanged since the last one) and a tick
// after a scan replaced the file (read, parse, sort, update the table).
//
// Usage: table-benchmark [Google Benchmark options]

#include "gui/views/InstalledTab.h"

#include <benchmark/benchmark.h>

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

    void idleTick (benchmark::State& state)
    {
        InstalledTableList table ({ fixture->settings, fixture->service, fixture->desktop, Clock::system(), "1.0.4" });
        table.setSize (880, 700);
        table.timerCallback();

        for (auto _ : state)
            table.timerCallback();

        state.counters["rows"] = table.getNumRows();
    }

    void tickAfterANewInventory (benchmark::State& state)
    {
        InstalledTableList table ({ fixture->settings, fixture->service, fixture->desktop, Clock::system(), "1.0.4" });
        table.setSize (880, 700);
        auto variant = 0;

        for (auto _ : state)
        {
            state.PauseTiming();
            variant = 1 - variant;
            fixture->replaceInventory (variant);
            state.ResumeTiming();

            table.timerCallback();
        }

        state.counters["rows"] = table.getNumRows();
    }
}

BENCHMARK (idleTick)->Unit (benchmark::kMicrosecond);
BENCHMARK (tickAfterANewInventory)->Unit (benchmark::kMillisecond);

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
