#pragma once

#include "base/PasswordHasher.h"
#include "domain/Accounts.h"
#include "domain/ScanHandler.h"
#include "domain/VersionCheck.h"
#include "http/Server.h"
#include "mail/Outbox.h"

#include <string>

/**
    Everything the service is started with, made of the settings each part
    takes: the command line fills it, and each part is given its own piece
    (http(), accounts(), scans(), versions(), mail()) as the very struct its
    constructor reads, so nothing is copied field by field on the way.

    The pieces are base classes rather than members so that an option
    reads as one name (options.host, options.maxFailedLogins); their field
    names do not overlap.
*/
struct ServiceOptions : Server::Settings,
                        Accounts::Settings,
                        ScanHandler::Settings,
                        VersionCheck::Release,
                        Outbox::Settings
{
    /** Empty publicUrl: the links in mail lead to the listen address,
        with the port it gets (see CommandLine::parse()). */
    ServiceOptions() { publicUrl.clear(); }

    std::string databasePath;   ///< the store: a SQLite file or a postgresql:// connection string
    std::string secretFile;     ///< the service's secret (ServiceSecret); empty: beside a SQLite file
    PasswordHasher::Strength argon2 = PasswordHasher::Strength::interactive;
    int maxHashesAtOnce = 0;    ///< 0: as many as the machine has cores
    std::int64_t loginMemorySeconds = 10 * 60;   ///< how long a verified log-in is remembered; 0: never

    // Mail by SMTP through the queue in the database, instead of the outbox.
    std::string smtpUrl;            ///< smtp://host:port or smtps://host:port; empty: the outbox
    std::string smtpUser;
    std::string smtpPasswordFile;   ///< the relay's password, in a file of its own
    std::int64_t mailRetrySeconds = 60;

    const Server::Settings& http() const noexcept { return *this; }
    const Accounts::Settings& accounts() const noexcept { return *this; }
    const ScanHandler::Settings& scans() const noexcept { return *this; }
    const VersionCheck::Release& versions() const noexcept { return *this; }
    const Outbox::Settings& mail() const noexcept { return *this; }
};
