#include "core/service/ServiceEndpoint.h"

#include "BuildSettings.h"

ServiceEndpoint::ServiceEndpoint (const juce::String& url)
    : baseUrl (url.trimCharactersAtEnd ("/"))
{
}

ServiceEndpoint ServiceEndpoint::fromBuildSettings()
{
    return ServiceEndpoint (COBALTLINE_SERVICE_URL);
}

juce::URL ServiceEndpoint::makeUrl (const juce::String& path) const
{
    return juce::URL (baseUrl + path);
}
