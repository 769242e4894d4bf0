#include "core/inventory/ScanJob.h"
#include "core/inventory/ScanLock.h"
#include "core/inventory/ScanReport.h"
#include "core/inventory/ScanStart.h"
#include "core/service/ServiceEndpoint.h"

#include <iostream>

namespace
{
    /** What the scanner exits with. */
    enum ExitCode
    {
        scannedAndChecked = 0,
        failed = 1,
        updatesNotChecked = 2,
        anotherScanRuns = 3
    };

    const char* const usage =
        "Usage: cobaltline-scan [--json]\n"
        "\n"
        "Scans the plug-in folders of Cobaltline's Paths settings for this computer's\n"
        "profile, sends the inventory to the update service and stores the updates,\n"
        "as the Scan button of the program does (and into the same files).\n"
        "\n"
        "  --json   print one JSON document (the machine and every plug-in found,\n"
        "           with its latest version and web site where the service knows\n"
        "           them) instead of a line per folder and a summary\n"
        "  --help   print this text\n"
        "\n"
        "Exit status: 0 scanned and updates checked; 2 scanned, but the service could\n"
        "not be reached (the inventory is written, updates are not checked); 3 another\n"
        "scan of the same settings is running; 1 anything else (no profile, a refusal\n"
        "of the service, files that could not be written).\n";

    /** The scanner has no windows: what the program would show in an alert
        is written to standard error, and nothing is opened or chosen.
    */
    class ConsoleDesktop final : public DesktopServices
    {
    public:
        int showAlert (const AlertRequest& request) override
        {
            std::cerr << oneLine (request).toStdString() << std::endl;
            return 0;
        }

        bool openUrl (const juce::URL&) override                                   { return false; }
        juce::File chooseFolder (const juce::String&, const juce::File&) override  { return {}; }

        static juce::String oneLine (const AlertRequest& request)
        {
            auto text = request.title + ": " + request.message;
            return text.replaceCharacters ("\r\n", "  ").trim();
        }
    };

    int fail (const juce::String& reason)
    {
        std::cerr << "cobaltline-scan: " << reason.toStdString() << std::endl;
        return failed;
    }
}

int main (int argc, char* argv[])
{
    const juce::ArgumentList arguments (argc, argv);
    bool json = false;

    for (const auto& argument : arguments.arguments)
    {
        if (argument.text == "--help" || argument.text == "-h")
        {
            std::cout << usage;
            return scannedAndChecked;
        }

        if (argument.text != "--json")
        {
            std::cerr << "cobaltline-scan: unknown option " << argument.text.toStdString() << "\n\n" << usage;
            return failed;
        }

        json = true;
    }

    const SettingsStore settings (SettingsStore::getDefaultDataFolder());
    const auto service = ServiceEndpoint::fromBuildSettings();
    ConsoleDesktop desktop;

    const ScanLock lock (settings.getDataFolder());

    if (lock.isBusy())
    {
        std::cerr << "cobaltline-scan: another scan of " << settings.getDataFolder().getFullPathName().toStdString()
                  << " is running; try again when it has finished" << std::endl;
        return anotherScanRuns;
    }

    const auto decision = ScanStart::decide (settings);

    if (decision.kind == ScanStart::Decision::Kind::profileMissing)
        return fail ("the profile is not complete: enter the e-mail address, password and machine name on "
                     "the Profile page of Cobaltline's Preferences (" + settings.getProfileFile().getFullPathName() + ")");

    if (decision.kind != ScanStart::Decision::Kind::scan)
        return fail (decision.alert.message);

    const auto online = ConnectionCheck::canReach (service, {});
    const auto inventory = ScanStart::prepareFiles (settings, decision.machineName);

    ScanJob::Settings scan { decision.folders.folders, decision.folders.formats, inventory, decision.machineName };
    scan.checkUpdates = online;

    const ConnectionCheck connection (service, desktop);
    ScanJob job (settings, service, connection, Clock::system());
    const auto alerts = job.run (scan, { { [] { return false; }, [] (const juce::String&) {}, [] (double) {} }, {} });

    auto status = scannedAndChecked;

    for (const auto& alert : alerts)
    {
        desktop.showAlert (alert);

        if (alert.title == ScanJob::offlineTitle)
            status = status == scannedAndChecked ? updatesNotChecked : status;
        else
            status = failed;
    }

    if (json)
    {
        std::cout << ScanReport::toJson (settings, decision.machineName).toStdString() << std::endl;
        return status;
    }

    const auto& folders = decision.folders.folders;
    const auto counts = ScanReport::countIn (settings, decision.machineName, folders);

    for (int i = 0; i < folders.size(); ++i)
        std::cout << folders[i].toStdString() << ": " << counts[(size_t) i] << " plug-ins" << std::endl;

    const auto summary = ScanReport::summarise (settings, decision.machineName);
    std::cout << summary.kept << " plug-ins kept, " << summary.notRecognised << " not recognised, "
              << (status == updatesNotChecked ? juce::String ("updates not checked")
                                              : juce::String (summary.updates) + " updates").toStdString()
              << std::endl;

    return status;
}
