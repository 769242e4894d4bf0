#include "service/ServiceEndpoint.h"

#include "ServiceConfig.h"

namespace ServiceEndpoint
{
namespace
{
    juce::CriticalSection& overrideLock()
    {
        static juce::CriticalSection lock;
        return lock;
    }

    juce::String& overriddenBaseUrl()
    {
        static juce::String url;
        return url;
    }
}

juce::String getBaseUrl()
{
    const juce::ScopedLock sl (overrideLock());
    const auto& url = overriddenBaseUrl().isNotEmpty() ? overriddenBaseUrl()
                                                       : juce::String (COBALTLINE_SERVICE_URL_DEFAULT);
    return url.trimCharactersAtEnd ("/");
}

juce::URL makeUrl (const juce::String& path)
{
    return juce::URL (getBaseUrl() + path);
}

ScopedBaseUrlOverride::ScopedBaseUrlOverride (const juce::String& baseUrl)
{
    const juce::ScopedLock sl (overrideLock());
    previous = overriddenBaseUrl();
    overriddenBaseUrl() = baseUrl;
}

ScopedBaseUrlOverride::~ScopedBaseUrlOverride()
{
    const juce::ScopedLock sl (overrideLock());
    overriddenBaseUrl() = previous;
}
}
