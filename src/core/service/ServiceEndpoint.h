#pragma once

#include <juce_core/juce_core.h>

/** The address of the update service and its fixed paths.

    The application makes one from the build-time setting and hands it to
    everything that goes online; tests make one for a loopback server. A const
    endpoint may be used from any thread.
*/
class ServiceEndpoint
{
public:
    /** The base address, e.g. "https://host"; a trailing slash is dropped. */
    explicit ServiceEndpoint (const juce::String& baseUrl);

    /** The address the program was built for (COBALTLINE_SERVICE_URL). */
    static ServiceEndpoint fromBuildSettings();

    /** The base address without a trailing slash. */
    const juce::String& getBaseUrl() const noexcept   { return baseUrl; }

    /** The address of one of the service's paths. */
    juce::URL makeUrl (const juce::String& path) const;

    static constexpr const char* checkConnectPath    = "/checkconnect/index.html";
    static constexpr const char* checkAppVersionPath = "/check_app_version/index.php";
    static constexpr const char* scanPath            = "/scan/index.php";
    static constexpr const char* authenticationPath  = "/authentication/index.php";

private:
    juce::String baseUrl;

    JUCE_LEAK_DETECTOR (ServiceEndpoint)
};
