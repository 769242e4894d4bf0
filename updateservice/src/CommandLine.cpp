#include "CommandLine.h"

#include "VersionNumber.h"

#include <arpa/inet.h>

#include <limits>

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
    return
        "Usage:\n"
        "  cobaltline-service serve [options]\n"
        "  cobaltline-service import-catalog --db FILE CATALOG.csv\n"
        "  cobaltline-service --help\n"
        "\n"
        "serve: answers the Cobaltline application's requests over HTTP (or HTTPS).\n"
        "  --listen HOST:PORT          address to listen on (default 127.0.0.1:8750; port 0 picks\n"
        "                              a free port; IPv6 as [::1]:8750). Plain HTTP is served on\n"
        "                              loopback addresses only.\n"
        "  --db FILE                   SQLite database (created when missing; required)\n"
        "  --outbox DIR                folder for outgoing mail files (created when missing; required)\n"
        "  --latest-app-version V      newest release of the application, e.g. 1.0.5\n"
        "  --latest-app-title T        title of the new-version notice\n"
        "  --latest-app-text X         text of the new-version notice\n"
        "  --latest-app-url U          download page of the new version (http:// or https://)\n"
        "  --tls-cert FILE             PEM certificate chain: serve HTTPS\n"
        "  --tls-key FILE              PEM private key for --tls-cert\n"
        "  --reset-code-ttl SECONDS    lifetime of a password reset code (default 3600)\n"
        "  --max-failed-logins N       failed log-ins that lock an address (default 5; 0 = never)\n"
        "  --failure-window SECONDS    period in which those failures count (default 900)\n"
        "  --lockout-seconds S         how long the lock lasts (default 900)\n"
        "  --argon2 fast|interactive|moderate\n"
        "                              password hashing cost (default interactive; fast is for tests)\n"
        "  --threads N                 requests served at once (default 8)\n"
        "  --max-inventory-mib N       largest accepted scan upload in MiB (default 128)\n"
        "  --mail-from ADDRESS         From header of outgoing mail\n"
        "  --quiet                     no request log on standard error\n"
        "\n"
        "import-catalog: adds or updates catalog rows from a CSV file with the header\n"
        "  Name,Vendor,Format,Version,Website\n"
        "  Rows with the same Name, Vendor and Format (any letter case) replace earlier ones.\n"
        "  A faulty file changes nothing.\n";
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
        return failWith ("no command given (serve or import-catalog); see --help");

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

        if (option == "--quiet")
        {
            options.logRequests = false;
            continue;
        }

        if (option.rfind ("--", 0) != 0)
        {
            positional.push_back (option);
            continue;
        }

        if (i + 1 >= arguments.size())
            return failWith ("option " + option + " needs a value");

        const auto& value = arguments[++i];
        std::int64_t number = 0;
        const auto isServe = options.command == Command::serve;

        if (option == "--db")                                   options.databasePath = value;
        else if (isServe && option == "--outbox")               options.outboxFolder = value;
        else if (isServe && option == "--latest-app-version")   options.latestAppVersion = value;
        else if (isServe && option == "--latest-app-title")     options.latestAppTitle = value;
        else if (isServe && option == "--latest-app-text")      options.latestAppText = value;
        else if (isServe && option == "--latest-app-url")       options.latestAppUrl = value;
        else if (isServe && option == "--tls-cert")             options.tlsCertificate = value;
        else if (isServe && option == "--tls-key")              options.tlsKey = value;
        else if (isServe && option == "--mail-from")            options.mailFrom = value;
        else if (isServe && option == "--listen")
        {
            if (! parseListen (value, options.host, options.port))
                return failWith ("--listen needs HOST:PORT, e.g. 127.0.0.1:8750 or [::1]:0");
        }
        else if (isServe && option == "--argon2")
        {
            if (! PasswordHasher::parseStrength (value, options.argon2))
                return failWith ("--argon2 must be fast, interactive or moderate");
        }
        else if (isServe && option == "--reset-code-ttl")
        {
            if (! parseInteger (value, 1, 7 * 24 * 3600, number))
                return failWith ("--reset-code-ttl needs a number of seconds from 1 to 604800");
            options.resetCodeLifetimeSeconds = number;
        }
        else if (isServe && option == "--max-failed-logins")
        {
            if (! parseInteger (value, 0, 1000, number))
                return failWith ("--max-failed-logins needs a number from 0 to 1000");
            options.maxFailedLogins = static_cast<int> (number);
        }
        else if (isServe && option == "--failure-window")
        {
            if (! parseInteger (value, 1, 7 * 24 * 3600, number))
                return failWith ("--failure-window needs a number of seconds from 1 to 604800");
            options.failureWindowSeconds = number;
        }
        else if (isServe && option == "--lockout-seconds")
        {
            if (! parseInteger (value, 1, 7 * 24 * 3600, number))
                return failWith ("--lockout-seconds needs a number of seconds from 1 to 604800");
            options.lockoutSeconds = number;
        }
        else if (isServe && option == "--threads")
        {
            if (! parseInteger (value, 1, 256, number))
                return failWith ("--threads needs a number from 1 to 256");
            options.threads = static_cast<std::size_t> (number);
        }
        else if (isServe && option == "--max-inventory-mib")
        {
            if (! parseInteger (value, 1, 1024, number))
                return failWith ("--max-inventory-mib needs a number from 1 to 1024");
            options.maxInventoryBytes = static_cast<std::size_t> (number) * 1024u * 1024u;
        }
        else
        {
            return failWith ("unknown option " + option + "; see --help");
        }
    }

    if (options.databasePath.empty())
        return failWith ("--db FILE is required");

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

    if (options.outboxFolder.empty())
        return failWith ("--outbox DIR is required");

    if (options.tlsCertificate.empty() != options.tlsKey.empty())
        return failWith ("--tls-cert and --tls-key go together");

    if (options.tlsCertificate.empty() && ! isLoopbackHost (options.host))
        return failWith ("refusing to serve plain HTTP on " + options.host
                         + ", which is not a loopback address: passwords would cross the network "
                           "unencrypted. Use --tls-cert and --tls-key, or listen on 127.0.0.1.");

    if (! options.latestAppVersion.empty())
    {
        if (! VersionNumber::isUsable (VersionNumber::clean (options.latestAppVersion)))
            return failWith ("--latest-app-version holds no version number");

        const auto& url = options.latestAppUrl;

        if (url.rfind ("https://", 0) != 0 && url.rfind ("http://", 0) != 0)
            return failWith ("--latest-app-version needs --latest-app-url with an http:// or https:// address");
    }

    result.ok = true;
    return result;
}
