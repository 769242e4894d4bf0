#pragma once

#include "core/context/AppContext.h"
#include "core/inventory/ScanJob.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

/** The scan job behind the "Scan" button, run behind a modal progress window
    ("Scanning Plugins...", with a progress bar and "Cancel").

    run() builds the machine profile, walks the folders into the inventory file
    and then uploads it, also after "Cancel": a cancelled scan uploads what it
    found so far. Create one per scan, hand it its settings, call runThread()
    and destroy it when that returns.
*/
class PluginScan final : public juce::ThreadWithProgressWindow,
                         private juce::Thread::Listener
{
public:
    /** Everything in the context must outlive the job. */
    explicit PluginScan (const AppContext& context);
    ~PluginScan() override;

    /** Copies the settings the job works with; call before runThread(). */
    void setScanSettings (const juce::StringArray& folders,
                          const juce::File& inventoryFile,
                          const juce::StringArray& formats,
                          const juce::String& machineName);

    /** Whether the scan sends its inventory to the service (true unless the
        service could not be reached before the scan); call before runThread().
    */
    void setCheckingUpdates (bool shouldCheck)   { scanSettings.checkUpdates = shouldCheck; }

    /** The job; runs on the worker thread. */
    void run() override;

    /** After "Cancel" the window waits this long for the job before it kills
        the thread, so the upload is abandoned a little earlier than that.
    */
    static constexpr int cancelTimeoutMs = 10000;
    static constexpr int uploadGraceAfterCancelMs = 7000;

private:
    void exitSignalSent() override;
    bool uploadShouldStop() const;

    const AppContext context;
    const ConnectionCheck connectionChecker;
    ScanJob job;
    ScanJob::Settings scanSettings;
    std::atomic<juce::uint32> exitRequestedAtMs { 0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginScan)
};
