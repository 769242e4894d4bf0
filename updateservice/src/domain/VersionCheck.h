#pragma once

#include "domain/Outcome.h"

#include <string>
#include <string_view>

/**
    Answers the application's question whether a newer release of it
    exists.

    Immutable after construction; may be used from any thread.
*/
class VersionCheck
{
public:
    struct Release
    {
        std::string version;   ///< cleaned; empty: no newer release is offered
        std::string title, text, url;   ///< empty title or text: a standard one
    };

    explicit VersionCheck (Release latestRelease);

    /** A version outcome when the release is newer than the version the
        application sent (as sent; it is cleaned here), otherwise current.
        A version without any digit is taken as current. */
    Outcome answer (std::string_view clientVersion) const;

private:
    const Release latest;
};
