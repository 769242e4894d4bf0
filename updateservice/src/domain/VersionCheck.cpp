#include "domain/VersionCheck.h"

#include "base/VersionNumber.h"

VersionCheck::VersionCheck (Release latestRelease)
    : latest (std::move (latestRelease))
{
}

Outcome VersionCheck::answer (std::string_view clientVersion) const
{
    const auto client = VersionNumber::clean (clientVersion);

    if (latest.version.empty() || ! VersionNumber::isUsable (client)
        || VersionNumber::compare (latest.version, client) <= 0)
        return Outcome::current();

    return Outcome::version (latest.title.empty() ? "New Version Available" : latest.title,
                             latest.text.empty()
                                 ? "A new version of Cobaltline (" + latest.version + ") is available. Would you like to download it?"
                                 : latest.text,
                             latest.url);
}
