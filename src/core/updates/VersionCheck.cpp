#include "core/updates/VersionCheck.h"

#include "core/inventory/VersionCleaning.h"
#include "core/service/ConnectionCheck.h"
#include "core/service/ServiceRequests.h"

namespace VersionCheck
{
juce::String normaliseVersion (const juce::String& applicationVersion)
{
    return cleanVersion (applicationVersion);
}

Outcome interpret (std::unique_ptr<juce::XmlElement> reply)
{
    Outcome outcome;
    outcome.finding = Finding::current;

    if (reply != nullptr && reply->getTagName() == "Version")
    {
        outcome.finding = Finding::newer;
        outcome.title = reply->getStringAttribute ("VersionTitle");
        outcome.text = reply->getStringAttribute ("VersionText");
        outcome.url = reply->getStringAttribute ("VersionURL");
    }

    outcome.reply = std::move (reply);
    return outcome;
}

Outcome run (const ServiceEndpoint& service, const juce::String& applicationVersion,
             std::function<bool()> shouldAbort)
{
    if (! ConnectionCheck::canReach (service, shouldAbort))
        return {};

    auto reply = ServiceRequests::postForm (service, ServiceEndpoint::checkAppVersionPath,
                                            { { "user_version", normaliseVersion (applicationVersion) },
                                              { "user_platform_id", platformId } },
                                            ServiceRequests::defaultTimeoutMs, shouldAbort);

    if (shouldAbort && shouldAbort())
        return {};

    return interpret (std::move (reply));
}

AlertRequest makeAlert (const Outcome& newer)
{
    AlertRequest alert { newer.title, newer.text, AlertIcon::info,
                         { { "Download...", downloadResult, AlertKey::returnKey },
                           { "Remind Me Later", 0, AlertKey::escapeKey } } };
    alert.escapeKeyCancels = false;   // Escape presses "Remind Me Later" instead
    return alert;
}

int nextPeriodMs (Finding finding, int alertResult, int currentPeriodMs)
{
    if (finding != Finding::newer)
        return quietPeriodMs;

    if (alertResult != downloadResult)
        return reminderPeriodMs;

    // The period in force is kept, but the short delay of the first check is
    // no period to repeat a modal alert at while the user downloads.
    return juce::jmax (currentPeriodMs, quietPeriodMs);
}
}
