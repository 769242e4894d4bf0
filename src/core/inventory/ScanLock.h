#pragma once

#include "core/platform/DesktopServices.h"

#include <juce_core/juce_core.h>

/** One scan at a time per data folder, among all processes: the program's
    windows and the console scanner alike. The lock is the operating system's
    on the file "Scan.lock" in the data folder, so it goes with its process
    however that ends, and a second lock on the same folder is refused also
    within one process.

    Any thread; the lock is held from construction until destruction.
*/
class ScanLock final
{
public:
    /** Tries to take the lock at once, without waiting. */
    explicit ScanLock (const juce::File& dataFolder);
    ~ScanLock();

    /** True when this object holds the lock. */
    bool isHeld() const noexcept;

    /** True when another scan of the folder holds the lock. A lock file that
        cannot be made at all (a folder that cannot be written) is not taken
        for one: the scan then runs, and tells what it could not write.
    */
    bool isBusy() const noexcept       { return busy; }

    /** What the program says when another scan holds the lock. */
    static AlertRequest makeBusyAlert();

    static constexpr const char* fileName = "Scan.lock";
    static constexpr const char* busyTitle = "Scan Already Running";
    static constexpr const char* busyText = "Another scan of this computer's plugins is running (in another "
                                            "Cobaltline window or in cobaltline-scan). Please wait until it has "
                                            "finished, then scan again.";

private:
    bool busy = false;

   #if JUCE_WINDOWS
    void* handle = nullptr;
   #else
    int descriptor = -1;
   #endif

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ScanLock)
};
