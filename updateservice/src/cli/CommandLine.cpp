#include "cli/CommandLine.h"

#include "base/Utf8.h"
#include "base/VersionNumber.h"
#include "store/Database.h"

#include <arpa/inet.h>

#include <functional>

namespace
{
    bool parseInteger (std::string_view text, std::int64_t minimum, std::int64_t maximum, std::int64_t& value)
    {
        if (text.empty() || text.size() > 18)
            return false;

        std::int64_t result = 0;

        for (const auto c : text)
        {
            if (c < '0' || c > '9')
                return false;

            result = result * 10 + (c - '0');
        }

        if (result < minimum || result > maximum)
            return false;

        value = result;
        return true;
    }

    bool parseListen (const std::string& text, std::string& host, int& port)
    {
        const auto colon = text.rfind (':');

        if (colon == std::string::npos || colon == 0)
            return false;

        auto hostPart = text.substr (0, colon);

        if (hostPart.size() >= 2 && hostPart.front() == '[' && hostPart.back() == ']')
            hostPart = hostPart.substr (1, hostPart.size() - 2);
        else if (hostPart.find (':') != std::string::npos)
            return false;   // IPv6 addresses need brackets: [::1]:8750

        std::int64_t number = 0;

        if (hostPart.empty() || ! parseInteger (text.substr (colon + 1), 0, 65535, number))
            return false;

        host = hostPart;
        port = static_cast<int> (number);
        return true;
    }

    using Options = CommandLine::Options;

    /** Reads an option's value into the options; false when the value is
        refused. Switches are called with an empty value. */
    using ValueReader = std::function<bool (const std::string& value, Options& options)>;

    enum class AcceptedBy
    {
        everyCommand,
        serve,
        migrate
    };

    struct OptionDescriptor
    {
        const char* name;
        const char* placeholder;   ///< nullptr: a switch, which takes no value
        AcceptedBy acceptedBy;
        ValueReader read;
        const char* refusal;       ///< the error when read() refuses the value
        const char* help;          ///< the usage text; lines separated by "\n"
    };

    ValueReader text (std::string Options::* field)
    {
        return [field] (const std::string& value, Options& options)
        {
            options.*field = value;
            return true;
        };
    }

    template <typename Number, typename Part>
    ValueReader number (std::int64_t minimum, std::int64_t maximum, Number Part::* field, Number unit = 1)
    {
        return [minimum, maximum, field, unit] (const std::string& value, Options& options)
        {
            std::int64_t parsed = 0;

            if (! parseInteger (value, minimum, maximum, parsed))
                return false;

            options.*field = static_cast<Number> (parsed) * unit;
            return true;
        };
    }

    constexpr std::int64_t aWeek = 7 * 24 * 3600;

    // In the order of the usage text.
    const std::vector<OptionDescriptor>& optionTable()
    {
        static const std::vector<OptionDescriptor> table {
            { "--listen", "HOST:PORT", AcceptedBy::serve,
              [] (const std::string& value, Options& options) { return parseListen (value, options.host, options.port); },
              "--listen needs HOST:PORT, e.g. 127.0.0.1:8750 or [::1]:0",
              "address to listen on (default 127.0.0.1:8750; port 0 picks\n"
              "a free port; IPv6 as [::1]:8750). Plain HTTP is served on\n"
              "loopback addresses only." },
            { "--db", "FILE|URL", AcceptedBy::everyCommand, text (&Options::databasePath), "",
              "the store (required): a SQLite file, created when missing,\n"
              "or a PostgreSQL database, postgresql://user@host/name" },
            { "--secret-file", "FILE", AcceptedBy::serve, text (&Options::secretFile), "",
              "the service's secret, 32 bytes, mode 0600, made when missing\n"
              "(default: beside a SQLite --db, as FILE.secret; required with\n"
              "PostgreSQL: give every process the same file)" },
            { "--max-hashes", "N", AcceptedBy::serve, number (1, 256, &Options::maxHashesAtOnce),
              "--max-hashes must be a number from 1 to 256",
              "password hashes at once, each with its memory (default: one\n"
              "per core)" },
            { "--remember-logins", "SECONDS", AcceptedBy::serve, number (0, 900, &Options::loginMemorySeconds),
              "--remember-logins must be a number of seconds from 0 to 900",
              "how long a verified log-in skips the password hash (default\n"
              "600; 0: always hash)" },
            { "--smtp", "URL", AcceptedBy::serve, text (&Options::smtpUrl), "",
              "send mail through this relay, smtp://host:port (STARTTLS when\n"
              "offered) or smtps://host:port, queued in the database\n"
              "(default: files in --outbox)" },
            { "--smtp-user", "NAME", AcceptedBy::serve, text (&Options::smtpUser), "",
              "log in to the relay (then TLS is required)" },
            { "--smtp-password-file", "FILE", AcceptedBy::serve, text (&Options::smtpPasswordFile), "",
              "the relay password, read from this file" },
            { "--mail-retry-seconds", "S", AcceptedBy::serve, number (1, 3600, &Options::mailRetrySeconds),
              "--mail-retry-seconds must be a number from 1 to 3600",
              "wait before sending a refused message again, doubled each\n"
              "time up to an hour (default 60)" },
            { "--to", "URL", AcceptedBy::migrate, text (&Options::migrateTo), "",
              "migrate: the empty PostgreSQL database to copy into" },
            { "--outbox", "DIR", AcceptedBy::serve, text (&Options::outboxFolder), "",
              "folder for outgoing mail files (created when missing; required)" },
            { "--latest-app-version", "V", AcceptedBy::serve, text (&Options::version), "",
              "newest release of the application, e.g. 1.0.5" },
            { "--latest-app-title", "T", AcceptedBy::serve, text (&Options::title), "",
              "title of the new-version notice" },
            { "--latest-app-text", "X", AcceptedBy::serve, text (&Options::text), "",
              "text of the new-version notice" },
            { "--latest-app-url", "U", AcceptedBy::serve, text (&Options::url), "",
              "download page of the new version (http:// or https://)" },
            { "--tls-cert", "FILE", AcceptedBy::serve, text (&Options::tlsCertificate), "",
              "PEM certificate chain: serve HTTPS" },
            { "--tls-key", "FILE", AcceptedBy::serve, text (&Options::tlsKey), "",
              "PEM private key for --tls-cert" },
            { "--reset-code-ttl", "SECONDS", AcceptedBy::serve, number (1, aWeek, &Options::resetCodeLifetimeSeconds),
              "--reset-code-ttl needs a number of seconds from 1 to 604800",
              "lifetime of a password reset code (default 3600)" },
            { "--max-failed-logins", "N", AcceptedBy::serve, number (0, 1000, &Options::maxFailedLogins),
              "--max-failed-logins needs a number from 0 to 1000",
              "failed log-ins from one client address for one account\n"
              "that lock that address for it (default 5; 0 = never)" },
            { "--failure-window", "SECONDS", AcceptedBy::serve, number (1, aWeek, &Options::failureWindowSeconds),
              "--failure-window needs a number of seconds from 1 to 604800",
              "period in which those failures count (default 900)" },
            { "--lockout-seconds", "S", AcceptedBy::serve, number (1, aWeek, &Options::lockoutSeconds),
              "--lockout-seconds needs a number of seconds from 1 to 604800",
              "how long the lock lasts (default 900)" },
            { "--max-failed-logins-per-address", "N", AcceptedBy::serve,
              number (0, 100000, &Options::maxFailedLoginsPerAddress),
              "--max-failed-logins-per-address needs a number from 0 to 100000",
              "failed log-ins that lock a client address for every account\n"
              "(default 20; 0 = never)" },
            { "--max-failed-logins-per-account", "N", AcceptedBy::serve,
              number (0, 100000, &Options::maxFailedLoginsPerAccount),
              "--max-failed-logins-per-account needs a number from 0 to 100000",
              "failed log-ins for one account from any addresses after\n"
              "which addresses that failed for it get no more checks\n"
              "(default 20; 0 = never)" },
            { "--max-sign-ups-per-address", "N", AcceptedBy::serve, number (0, 100000, &Options::maxSignUpsPerAddressPerHour),
              "--max-sign-ups-per-address needs a number from 0 to 100000",
              "sign-ups per client address and hour (default 10; 0 = any);\n"
              "this and the four below are token buckets that refill\n"
              "continuously, one request each hour / N" },
            { "--max-sign-ups-per-network", "N", AcceptedBy::serve, number (0, 100000, &Options::maxSignUpsPerNetworkPerHour),
              "--max-sign-ups-per-network needs a number from 0 to 100000",
              "sign-ups per hour from one network, IPv4 /24 or IPv6 /48\n"
              "(default 20; 0 = any)" },
            { "--max-sign-ups", "N", AcceptedBy::serve, number (0, 10000000, &Options::maxSignUpsPerHour),
              "--max-sign-ups needs a number from 0 to 10000000",
              "sign-ups per hour from all addresses (default 500; 0 = any)" },
            { "--max-reset-requests-per-address", "N", AcceptedBy::serve,
              number (0, 100000, &Options::maxResetRequestsPerAddressPerHour),
              "--max-reset-requests-per-address needs a number from 0 to 100000",
              "reset code requests per client address and hour\n"
              "(default 10; 0 = any)" },
            { "--max-reset-requests-per-network", "N", AcceptedBy::serve,
              number (0, 100000, &Options::maxResetRequestsPerNetworkPerHour),
              "--max-reset-requests-per-network needs a number from 0 to 100000",
              "reset code requests per hour from one network\n"
              "(default 20; 0 = any)" },
            { "--max-reset-requests", "N", AcceptedBy::serve, number (0, 10000000, &Options::maxResetRequestsPerHour),
              "--max-reset-requests needs a number from 0 to 10000000",
              "reset code requests per hour from all addresses\n"
              "(default 500; 0 = any)" },
            { "--max-machines", "N", AcceptedBy::serve, number (0, 100000, &Options::maxMachinesPerAccount),
              "--max-machines needs a number from 0 to 100000",
              "machines whose inventories one account keeps (default 10;\n"
              "0 = any)" },
            { "--reporting-accounts", "N", AcceptedBy::serve, number (1, 100000, &Options::reportingAccounts),
              "--reporting-accounts needs a number from 1 to 100000",
              "accounts that must hold a version before it is offered\n"
              "as an update to everyone (default 3)" },
            { "--argon2", "fast|interactive|moderate", AcceptedBy::serve,
              [] (const std::string& value, Options& options) { return PasswordHasher::parseStrength (value, options.argon2); },
              "--argon2 must be fast, interactive or moderate",
              "password hashing cost (default interactive; fast is for tests)" },
            { "--threads", "N", AcceptedBy::serve, number (1, 256, &Options::threads),
              "--threads needs a number from 1 to 256",
              "workers answering complete requests (default 8)" },
            { "--backlog", "N", AcceptedBy::serve, number (1, 65535, &Options::backlog),
              "--backlog needs a number from 1 to 65535",
              "connections the system queues before they are\n"
              "accepted (default 512)" },
            { "--max-connections", "N", AcceptedBy::serve, number (1, 65536, &Options::maxConnections),
              "--max-connections needs a number from 1 to 65536",
              "requests being received at once; when all are\n"
              "taken the oldest gives way (default 1024)" },
            { "--request-timeout", "SECONDS", AcceptedBy::serve, number (1, 3600, &Options::requestTimeoutSeconds),
              "--request-timeout needs a number of seconds from 1 to 3600",
              "time from connecting to the last byte of the\n"
              "request, headers and body (default 60)" },
            { "--max-buffered-mib", "N", AcceptedBy::serve,
              number (1, 65536, &Options::maxBufferedBytes, std::size_t { 1024u * 1024u }),
              "--max-buffered-mib needs a number from 1 to 65536",
              "request bodies held at once, in MiB; more are\n"
              "refused as busy (default 512)" },
            { "--max-inventory-mib", "N", AcceptedBy::serve,
              [] (const std::string& value, Options& options)
              {
                  // The front's body limit and the parser's are the same size.
                  const auto read = number (1, 1024, &Options::maxInventoryBytes, std::size_t { 1024u * 1024u });
                  if (! read (value, options))
                      return false;

                  options.limits.maxBytes = options.maxInventoryBytes;
                  return true;
              },
              "--max-inventory-mib needs a number from 1 to 1024",
              "largest accepted scan upload in MiB (default 128)" },
            { "--mail-from", "ADDRESS", AcceptedBy::serve, text (&Options::mailFrom), "",
              "From header of outgoing mail" },
            { "--public-url", "URL", AcceptedBy::serve,
              [] (const std::string& value, Options& options)
              {
                  options.publicUrl = value;

                  while (! options.publicUrl.empty() && options.publicUrl.back() == '/')
                      options.publicUrl.pop_back();

                  const auto scheme = options.publicUrl.find ("://");
                  return (options.publicUrl.rfind ("https://", 0) == 0 || options.publicUrl.rfind ("http://", 0) == 0)
                      && options.publicUrl.size() > scheme + 3
                      && options.publicUrl.find_first_of (" \"'<>\\?#", 0) == std::string::npos
                      && ! Utf8::hasControlCharacters (options.publicUrl);
              },
              "--public-url needs an http:// or https:// address without a query, e.g. https://updates.example.com",
              "the service's address as people reach it, for the links\n"
              "in mail (default: the --listen address on loopback;\n"
              "required with --trust-proxy or another address)" },
            { "--trust-proxy", nullptr, AcceptedBy::serve,
              [] (const std::string&, Options& options) { options.trustProxy = true; return true; }, "",
              "behind a reverse proxy on this machine: a request\n"
              "from a loopback address counts as coming from the\n"
              "address in its X-Real-IP header" },
            { "--quiet", nullptr, AcceptedBy::everyCommand,
              [] (const std::string&, Options& options) { options.logRequests = false; return true; }, "",
              "no request log on standard error" }
        };

        return table;
    }

    const OptionDescriptor* findOption (const std::string& name)
    {
        for (const auto& descriptor : optionTable())
            if (name == descriptor.name)
                return &descriptor;

        return nullptr;
    }

    bool accepts (const OptionDescriptor& descriptor, CommandLine::Command command)
    {
        switch (descriptor.acceptedBy)
        {
            case AcceptedBy::everyCommand:  return true;
            case AcceptedBy::serve:         return command == CommandLine::Command::serve;
            case AcceptedBy::migrate:       return command == CommandLine::Command::migrate;
        }

        return false;
    }

    // "  --name PLACEHOLDER" and the help in a column of its own; a name too
    // wide for the column puts the help on the next line.
    std::string usageLines (const OptionDescriptor& descriptor)
    {
        constexpr std::size_t helpColumn = 30;
        const std::string indent (helpColumn, ' ');

        std::string lines = std::string ("  ") + descriptor.name;

        if (descriptor.placeholder != nullptr)
            lines += std::string (" ") + descriptor.placeholder;

        if (lines.size() < helpColumn)
            lines.append (helpColumn - lines.size(), ' ');
        else
            lines += "\n" + indent;

        for (const char* c = descriptor.help; *c != '\0'; ++c)
            lines += *c == '\n' ? "\n" + indent : std::string (1, *c);

        return lines + "\n";
    }
}

bool CommandLine::isLoopbackHost (std::string_view host)
{
    if (host == "localhost" || host == "::1")
        return true;

    const std::string text (host);
    in_addr address {};

    if (inet_pton (AF_INET, text.c_str(), &address) == 1)
        return (ntohl (address.s_addr) >> 24) == 127;

    return false;
}

std::string CommandLine::hostForUrl (const std::string& host)
{
    return host.find (':') != std::string::npos ? "[" + host + "]" : host;
}

std::string CommandLine::usage()
{
    std::string text =
        "Usage:\n"
        "  cobaltline-service serve [options]\n"
        "  cobaltline-service import-catalog --db FILE|URL CATALOG.csv\n"
        "  cobaltline-service migrate --db FILE --to URL\n"
        "  cobaltline-service --help\n"
        "\n"
        "serve: answers the Cobaltline application's requests over HTTP (or HTTPS).\n";

    for (const auto& descriptor : optionTable())
        text += usageLines (descriptor);

    return text
         + "\n"
           "import-catalog: adds or updates catalog rows from a CSV file with the header\n"
           "  Name,Vendor,Format,Version,Website\n"
           "  Rows with the same Name, Vendor and Format (any letter case) replace earlier ones.\n"
           "  A faulty file changes nothing.\n"
           "\n"
           "migrate: copies every table of the SQLite database --db into the empty\n"
           "  PostgreSQL database --to, in one transaction; stop the service first.\n";
}

CommandLine::Result CommandLine::parse (const std::vector<std::string>& arguments)
{
    Result result;
    auto& options = result.options;

    const auto failWith = [&result] (std::string message)
    {
        result.ok = false;
        result.error = std::move (message);
        return result;
    };

    if (arguments.empty())
        return failWith ("no command given (serve, import-catalog or migrate); see --help");

    const auto& command = arguments.front();

    if (command == "--help" || command == "-h" || command == "help")
    {
        options.command = Command::help;
        result.ok = true;
        return result;
    }

    if (command == "serve")
        options.command = Command::serve;
    else if (command == "import-catalog")
        options.command = Command::importCatalog;
    else if (command == "migrate")
        options.command = Command::migrate;
    else
        return failWith ("unknown command \"" + command + "\"; see --help");

    std::vector<std::string> positional;

    for (std::size_t i = 1; i < arguments.size(); ++i)
    {
        const auto& option = arguments[i];

        if (option == "--help" || option == "-h")
        {
            options.command = Command::help;
            result.ok = true;
            return result;
        }

        if (option.rfind ("--", 0) != 0)
        {
            positional.push_back (option);
            continue;
        }

        const auto* descriptor = findOption (option);
        const bool accepted = descriptor != nullptr && accepts (*descriptor, options.command);

        if (accepted && descriptor->placeholder == nullptr)
        {
            descriptor->read ({}, options);
            continue;
        }

        // Anything else takes a value, even an option this command does
        // not know.
        if (i + 1 >= arguments.size())
            return failWith ("option " + option + " needs a value");

        const auto& value = arguments[++i];

        if (! accepted)
            return failWith ("unknown option " + option + "; see --help");

        if (! descriptor->read (value, options))
            return failWith (descriptor->refusal);
    }

    if (options.databasePath.empty())
        return failWith ("--db FILE|URL is required");

    if (options.command == Command::migrate)
    {
        if (! positional.empty())
            return failWith ("unexpected argument \"" + positional.front() + "\"");

        if (Database::kindOf (options.databasePath) != Database::Kind::sqlite)
            return failWith ("migrate copies from a SQLite file: --db must name one");

        if (Database::kindOf (options.migrateTo) != Database::Kind::postgresql)
            return failWith ("migrate copies into PostgreSQL: --to must be a postgresql:// connection string");

        result.ok = true;
        return result;
    }

    if (options.command == Command::importCatalog)
    {
        if (positional.size() != 1)
            return failWith ("import-catalog needs exactly one CSV file");

        options.catalogFile = positional.front();
        result.ok = true;
        return result;
    }

    if (! positional.empty())
        return failWith ("unexpected argument \"" + positional.front() + "\"");

    if (options.outboxFolder.empty() && options.smtpUrl.empty())
        return failWith ("--outbox DIR or --smtp URL is required");

    if (! options.smtpUrl.empty() && options.smtpUrl.rfind ("smtp://", 0) != 0 && options.smtpUrl.rfind ("smtps://", 0) != 0)
        return failWith ("--smtp must be an smtp:// or smtps:// address");

    if (options.smtpUser.empty() != options.smtpPasswordFile.empty())
        return failWith ("--smtp-user and --smtp-password-file go together");

    if (options.secretFile.empty())
    {
        if (Database::kindOf (options.databasePath) != Database::Kind::sqlite)
            return failWith ("--secret-file FILE is required with a PostgreSQL database: every process "
                             "serving it must use the same secret");

        options.secretFile = options.databasePath + ".secret";
    }

    if (options.tlsCertificate.empty() != options.tlsKey.empty())
        return failWith ("--tls-cert and --tls-key go together");

    if (options.tlsCertificate.empty() && ! isLoopbackHost (options.host))
        return failWith ("refusing to serve plain HTTP on " + options.host
                         + ", which is not a loopback address: passwords would cross the network "
                           "unencrypted. Use --tls-cert and --tls-key, or listen on 127.0.0.1.");

    if (options.publicUrl.empty())
    {
        if (options.trustProxy || ! isLoopbackHost (options.host))
            return failWith ("--public-url is required with --trust-proxy or on an address that is not loopback: "
                             "links in mail must lead to the address people reach the service at");
    }

    // One upload of the largest size must fit in the budget.
    if (options.maxBufferedBytes <= options.maxInventoryBytes)
        return failWith ("--max-buffered-mib must be larger than --max-inventory-mib");

    if (! options.version.empty())
    {
        if (! VersionNumber::isUsable (VersionNumber::clean (options.version)))
            return failWith ("--latest-app-version holds no version number");

        const auto& url = options.url;

        if (url.rfind ("https://", 0) != 0 && url.rfind ("http://", 0) != 0)
            return failWith ("--latest-app-version needs --latest-app-url with an http:// or https:// address");
    }

    options.version = VersionNumber::clean (options.version);
    result.ok = true;
    return result;
}
