#pragma once

#include "cli/ServiceOptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/**
    The service's command line:

        cobaltline-service serve [options]
        cobaltline-service import-catalog --db FILE|URL CATALOG.csv
        cobaltline-service migrate --db FILE --to URL
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
        importCatalog,
        migrate
    };

    /** The service's options and what only the command line itself
        needs. */
    struct Options : ServiceOptions
    {
        Command command = Command::help;
        std::string catalogFile;   ///< import-catalog's CSV file
        std::string migrateTo;     ///< migrate's PostgreSQL connection string
    };

    struct Result
    {
        bool ok = false;
        Options options;
        std::string error;
    };

    /** Parses the arguments after the program name. For serve,
        `publicUrl` has no trailing "/" and the release's version is
        cleaned (VersionNumber::clean()). Without --public-url it stays
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
