#include "core/service/ConnectionCheck.h"

#include "core/service/HttpExchange.h"

namespace
{
    // The page is read and discarded; a captive portal or a runaway server
    // must not make us buffer without limit.
    constexpr size_t maxBodyBytes = 1024 * 1024;
}

ConnectionCheck::ConnectionCheck (const ServiceEndpoint& serviceEndpoint, DesktopServices& desktopServices)
    : service (serviceEndpoint),
      desktop (desktopServices)
{
}

bool ConnectionCheck::canReach (const ServiceEndpoint& service, std::function<bool()> shouldAbort)
{
    HttpExchange::Options options;
    options.timeoutMs = timeoutMs;
    options.totalTimeoutMs = 2 * timeoutMs;
    options.maxBodyBytes = maxBodyBytes;
    options.shouldAbort = std::move (shouldAbort);

    return HttpExchange::perform (service.makeUrl (ServiceEndpoint::checkConnectPath), false, {}, options).connected;
}

bool ConnectionCheck::checkQuietly (std::function<bool()> shouldAbort) const
{
    return canReach (service, std::move (shouldAbort));
}

bool ConnectionCheck::check (bool quiet) const
{
    if (checkQuietly ({}))
        return true;

    if (! quiet)
        showNoConnectionAlert();

    return false;
}

void ConnectionCheck::showNoConnectionAlert() const
{
    desktop.showAlert (makeNoConnectionAlert());
}

AlertRequest ConnectionCheck::makeNoConnectionAlert()
{
    return AlertRequest::ok (noConnectionTitle, noConnectionText, AlertIcon::info);
}
