#pragma once

#include "core/platform/DesktopServices.h"
#include "core/service/ServiceEndpoint.h"

#include <functional>

/** Finds out whether the update service can be reached, by opening its small
    check page.

    A job that goes online from its own thread holds a ConnectionCheck; a
    window runs canReach on a worker and shows makeNoConnectionAlert itself,
    so that the message thread never waits for the network.
*/
class ConnectionCheck
{
public:
    /** Both must outlive the check. */
    ConnectionCheck (const ServiceEndpoint& service, DesktopServices& desktop);

    /** True when the check page could be opened.

        When it could not and quiet is false, the "No Internet Connection"
        alert has been shown and closed before this returns; that form runs a
        modal loop and must only be called on the message thread. The quiet
        form may be called from any thread.
    */
    bool check (bool quiet) const;

    /** The quiet check, abandoned as soon as shouldAbort answers true (polled
        from another thread), so that a worker asked to stop is not held up.
    */
    bool checkQuietly (std::function<bool()> shouldAbort) const;

    /** Shows the "No Internet Connection" alert (message thread only). */
    void showNoConnectionAlert() const;

    /** The "No Internet Connection" alert: the information icon and "OK". */
    static AlertRequest makeNoConnectionAlert();

    /** The quiet check of a service, for callers that never show its alert. Any thread. */
    static bool canReach (const ServiceEndpoint& service, std::function<bool()> shouldAbort);

    /** How long a check waits for the service before it counts as unreachable. */
    static constexpr int timeoutMs = 10000;

    static constexpr const char* noConnectionTitle = "No Internet Connection";
    static constexpr const char* noConnectionText = "You are not connected to the Internet. Cobaltline will not be "
                                                    "able to scan for updates, or perform other online tasks.";

private:
    const ServiceEndpoint& service;
    DesktopServices& desktop;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ConnectionCheck)
};
