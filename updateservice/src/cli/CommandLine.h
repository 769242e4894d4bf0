#pragma once

#include "base/PasswordHasher.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/**
    The service's command line:

        cobaltline-service serve [options]
        cobaltline-service import-catalog --db FILE CATALOG.csv
        cobaltline-service --help

    Every option is one entry of a table (name, the commands that accept
    it, how its value is read and ranged, where it goes, the error for a
    refused value, its help); one loop parses with it and the usage text is
    written from it.

    Pure parsing, from any thread; the caller acts on the result. Refusals
    come back in Result::error, never as exceptions.
*/
class CommandLine
{
public:
    enum class Command
    {
        help,
        serve,
        importCatalog
    };

    struct Options
    {
        Command command = Command::help;

        std::string host = "127.0.0.1";
        int port = 8750;
        std::string databasePath;
        std::string outboxFolder;
        std::string catalogFile;

        std::string latestAppVersion;   ///< as given; cleaned where it is used
        std::string latestAppTitle;
        std::string latestAppText;
        std::string latestAppUrl;

        std::string tlsCertificate;
        std::string tlsKey;

        std::int64_t resetCodeLifetimeSeconds = 3600;
        int maxFailedLogins = 5;
        std::int64_t failureWindowSeconds = 15 * 60;
        std::int64_t lockoutSeconds = 15 * 60;
        int maxFailedLoginsPerAddress = 20;
        int maxFailedLoginsPerAccount = 20;
        int maxSignUpsPerAddress = 10;      ///< per hour, as the five below
        int maxSignUpsPerNetwork = 20;
        int maxSignUps = 500;
        int maxResetRequestsPerAddress = 10;
        int maxResetRequestsPerNetwork = 20;
        int maxResetRequests = 500;
        int maxMachines = 10;
        int reportingAccounts = 3;
        PasswordHasher::Strength argon2 = PasswordHasher::Strength::interactive;
        std::size_t threads = 8;
        int backlog = 512;
        std::size_t maxConnections = 1024;
        int requestTimeoutSeconds = 60;
        std::size_t maxBufferedBytes = 512u * 1024u * 1024u;
        std::size_t maxInventoryBytes = 128u * 1024u * 1024u;
        std::string mailFrom = "Cobaltline <no-reply@cobaltline.invalid>";
        std::string publicUrl;   ///< where links in mail lead; empty: the listen address (see parse())
        bool logRequests = true;
        bool trustProxy = false;
    };

    struct Result
    {
        bool ok = false;
        Options options;
        std::string error;
    };

    /** Parses the arguments after the program name. For serve,
        `publicUrl` has no trailing "/". Without --public-url it stays
        empty, meaning the listen address (with the port it gets), which
        is allowed only on a loopback address without --trust-proxy. */
    static Result parse (const std::vector<std::string>& arguments);

    /** The --help text. */
    static std::string usage();

    /** True for "localhost", "::1" and addresses in 127.0.0.0/8. */
    static bool isLoopbackHost (std::string_view host);

    /** The host in URL form: IPv6 addresses in brackets. */
    static std::string hostForUrl (const std::string& host);
};
