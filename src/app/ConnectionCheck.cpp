#include "app/ConnectionCheck.h"

#include "app/DesktopServices.h"
#include "service/HttpExchange.h"
#include "service/ServiceEndpoint.h"

namespace
{
    // The page is read and discarded; a captive portal or a runaway server
    // must not make us buffer without limit.
    constexpr size_t maxBodyBytes = 1024 * 1024;
}

ConnectionCheck::ConnectionCheck()
    : url (ServiceEndpoint::makeUrl (ServiceEndpoint::checkConnectPath))
{
}

bool ConnectionCheck::checkQuietly (std::function<bool()> shouldAbort)
{
    HttpExchange::Options options;
    options.timeoutMs = timeoutMs;
    options.totalTimeoutMs = 2 * timeoutMs;
    options.maxBodyBytes = maxBodyBytes;
    options.shouldAbort = std::move (shouldAbort);

    auto result = HttpExchange::perform (url, false, {}, options);
    body = std::move (result.body);
    return result.connected;
}

bool ConnectionCheck::check (bool quiet)
{
    if (checkQuietly ({}))
        return true;

    if (! quiet)
        showAlert (AlertRequest::ok ("No Internet Connection",
                                     "You are not connected to the Internet. Cobaltline will not be able to "
                                     "scan for updates, or perform other online tasks.",
                                     AlertIcon::info));

    return false;
}
