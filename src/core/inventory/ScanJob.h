#pragma once

#include "core/inventory/InventoryWalk.h"
#include "core/platform/Clock.h"
#include "core/platform/DesktopServices.h"
#include "core/service/ConnectionCheck.h"

#include <functional>
#include <vector>

/** One scan, without its window: the machine profile heads the inventory, the
    walk fills it folder by folder, and the upload sends it and stores the
    service's update list, also after a stop request (a stopped scan uploads
    what it found so far). The scan details beside the inventory are written
    again at the end with how the check for updates ended. What the user must
    be told at the end comes back as alerts rather than being shown here.

    Runs on the scan's worker thread; it touches no component.
*/
class ScanJob
{
public:
    /** What to scan: folders[i] holds plug-ins of the format formats[i]. */
    struct Settings
    {
        juce::StringArray folders, formats;
        juce::File inventoryFile;
        juce::String machineName;

        /** False when the service could not be reached before the scan: the
            folders are walked and the inventory written, nothing is sent, and
            the earlier update list is deleted, as it no longer matches.
        */
        bool checkUpdates = true;
    };

    struct Callbacks
    {
        /** Reports and stop requests of the walk. */
        InventoryWalk::Callbacks walk;
        /** Polled while the upload waits for the network; true abandons it quietly. */
        std::function<bool()> shouldAbandonUpload;
    };

    /** Everything given must outlive the job. */
    ScanJob (const SettingsStore& settings, const ServiceEndpoint& service,
             const ConnectionCheck& connection, const Clock& clock);

    /** Scans and uploads (when the settings say so); returns the alerts for
        the user, in the order to show them. A service that cannot be reached
        at the upload counts as when it could not be reached before.
    */
    std::vector<AlertRequest> run (const Settings& settings, const Callbacks& callbacks);

    /** The service's reply to the last upload (owned by the job), or nullptr. */
    const juce::XmlElement* getReply() const noexcept   { return reply.get(); }

    static constexpr const char* noReplyTitle = "Update List Not Received";
    static constexpr const char* noReplyText = "Your plugins were scanned, but Cobaltline did not receive the list "
                                               "of available updates from its service. The previous list is kept; "
                                               "please scan again later.";
    /** What a scan that could not reach the service tells the user. */
    static AlertRequest makeOfflineAlert();

    static constexpr const char* offlineTitle = "Updates Not Checked";
    static constexpr const char* offlineText = "Your plugins were scanned and are listed on the Installed tab, but "
                                               "Cobaltline could not reach its service, so updates were not checked. "
                                               "Please scan again when you are connected to the Internet.";

    /** The title of the alert that lists the files a scan could not write. */
    static constexpr const char* notWrittenTitle = "Scan Results Not Saved";

private:
    const SettingsStore& settingsStore;
    const ServiceEndpoint& service;
    const ConnectionCheck& connection;
    const Clock& clock;
    std::unique_ptr<juce::XmlElement> reply;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ScanJob)
};
