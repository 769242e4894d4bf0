#pragma once

#include <juce_core/juce_core.h>

/** The one address of the update service and its fixed paths.

    The base address is a build-time setting; tests point it at a loopback
    server with a ScopedBaseUrlOverride. Every function here may be called
    from any thread.
*/
namespace ServiceEndpoint
{
    inline constexpr const char* checkConnectPath    = "/checkconnect/index.html";
    inline constexpr const char* checkAppVersionPath = "/check_app_version/index.php";
    inline constexpr const char* scanPath            = "/scan/index.php";
    inline constexpr const char* authenticationPath  = "/authentication/index.php";

    /** The base address without a trailing slash, e.g. "https://host". */
    juce::String getBaseUrl();

    /** The address of one of the service's paths. */
    juce::URL makeUrl (const juce::String& path);

    /** Replaces the build-time base address for as long as it lives (tests only). */
    class ScopedBaseUrlOverride
    {
    public:
        explicit ScopedBaseUrlOverride (const juce::String& baseUrl);
        ~ScopedBaseUrlOverride();

    private:
        juce::String previous;

        JUCE_DECLARE_NON_COPYABLE (ScopedBaseUrlOverride)
    };
}
