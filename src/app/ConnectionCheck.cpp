#include "app/ConnectionCheck.h"

#include "app/DesktopServices.h"
#include "service/ServiceEndpoint.h"

namespace
{
    // The page is read and discarded; a captive portal or a runaway server
    // must not make us buffer without limit.
    constexpr size_t maxBodyBytes = 1024 * 1024;

    bool isSuccessStatus (int status) noexcept
    {
        return status >= 200 && status < 300;
    }
}

ConnectionCheck::ConnectionCheck()
    : url (ServiceEndpoint::makeUrl (ServiceEndpoint::checkConnectPath))
{
}

bool ConnectionCheck::check (bool quiet)
{
    int status = 0;
    const auto options = juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress)
                             .withConnectionTimeoutMs (timeoutMs)
                             .withNumRedirectsToFollow (5)
                             .withStatusCode (&status);

    if (auto stream = url.createInputStream (options); stream != nullptr && isSuccessStatus (status))
    {
        body.reset();
        juce::MemoryOutputStream out (body, false);
        out.writeFromInputStream (*stream, (juce::int64) maxBodyBytes);
        return true;
    }

    if (! quiet)
        showAlert (AlertRequest::ok ("No Internet Connection",
                                     "You are not connected to the Internet. Cobaltline will not be able to "
                                     "scan for updates, or perform other online tasks.",
                                     AlertIcon::info));

    return false;
}
