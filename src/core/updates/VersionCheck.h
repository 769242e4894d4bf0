#pragma once

#include "core/platform/DesktopServices.h"
#include "core/service/ServiceEndpoint.h"

#include <functional>

/** The application's own check for a newer release: a quiet connection check,
    then a POST of the application's version to the service, whose reply names
    a newer release when its root is "Version". The main window runs it on a
    timer; what the window shows and when it asks again are decided here.
*/
namespace VersionCheck
{
    enum class Finding
    {
        offline,   // the service could not be reached: nothing was asked
        current,   // no newer release (also any reply that is not "Version", or none at all)
        newer      // the reply names a newer release
    };

    struct Outcome
    {
        Finding finding = Finding::offline;
        juce::String title, text, url;     // of a newer release: VersionTitle, VersionText, VersionURL
        std::shared_ptr<const juce::XmlElement> reply;   // the service's reply, or nullptr
    };

    /** The first check comes this long after start; then the period depends on
        the last finding and answer (nextPeriodMs).
    */
    inline constexpr int firstPeriodMs = 3000;
    inline constexpr int quietPeriodMs = 100000;
    inline constexpr int reminderPeriodMs = 300000;

    /** The platform the application reports itself as. */
    inline constexpr const char* platformId = "2";

    /** The version as the service compares it: "1.0.4" gives "1.04". */
    juce::String normaliseVersion (const juce::String& applicationVersion);

    /** What a reply (or nullptr) says. */
    Outcome interpret (std::unique_ptr<juce::XmlElement> reply);

    /** Checks the connection quietly, then asks the service. Blocks the calling
        thread (any thread); shouldAbort is polled from another thread while the
        exchanges run, and an aborted check counts as offline.
    */
    Outcome run (const ServiceEndpoint& service, const juce::String& applicationVersion,
                 std::function<bool()> shouldAbort);

    /** The alert for a newer release: its title and text, the information icon,
        "Download..." (result 1, Return) and "Remind Me Later" (result 0, Escape).
    */
    AlertRequest makeAlert (const Outcome& newer);

    inline constexpr int downloadResult = 1;

    /** The timer period after a check: 100 s when offline or current, 300 s
        after "Remind Me Later", and the period in force after "Download..."
        (at least 100 s: after the first check, 3 s after start, the alert
        would otherwise come back every 3 s).
    */
    int nextPeriodMs (Finding finding, int alertResult, int currentPeriodMs);
}
