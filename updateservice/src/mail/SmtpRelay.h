#pragma once

#include <string>
#include <string_view>

/**
    Hands whole messages to a mail relay by SMTP, through libcurl.

    `url` names the relay: "smtp://host:port" (STARTTLS whenever the relay
    offers it, and required when a user name is given, so that a password
    never crosses the network in clear) or "smtps://host:port" (TLS from
    the start). With a user name, libcurl logs in by whichever method the
    relay offers.

    Thread-safe: each send() has a connection of its own.
*/
class SmtpRelay
{
public:
    struct Settings
    {
        std::string url;
        std::string user, password;
        std::string envelopeFrom;   ///< the address bounces go to
        long timeoutSeconds = 60;
    };

    explicit SmtpRelay (Settings settings);

    /** Sends one RFC 5322 message to `to`. Throws std::runtime_error with
        the relay's or the connection's reason when it is not accepted. */
    void send (std::string_view to, std::string_view message) const;

    /** The address in a From header value ("Name <a@b>" gives "a@b"). */
    static std::string addressOf (std::string_view fromHeader);

private:
    const Settings settings;
};
