#pragma once

#include "mail/MailSink.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

/**
    Stands in for the mail server: each message becomes one RFC 5322 file
    (CR LF line ends, UTF-8 plain text) in the outbox folder. File names
    start with the UTC time and a counter that only grows, also across
    restarts, so the newest message sorts last:
    "20261208T140501Z-000042.eml".

    Files appear whole: a message is written to a hidden temporary file in
    the same folder and then given its name, never one that exists: several
    processes may write to one folder, each taking the next free number.

    Thread-safe.
*/
class Outbox : public MailSink
{
public:
    struct Settings
    {
        std::string outboxFolder;   ///< where the messages are written
        std::string mailFrom = "Cobaltline <no-reply@cobaltline.invalid>";   ///< the From header
    };

    /** Creates the folder when missing. Throws std::runtime_error when that
        fails. */
    Outbox (std::filesystem::path folder, std::string fromAddress);

    explicit Outbox (const Settings& settings) : Outbox (settings.outboxFolder, settings.mailFrom) {}

    /** Writes one message and returns its file. The address goes into the
        To header as it is, so it must not contain line breaks (checked;
        throws std::invalid_argument). Throws std::runtime_error when the
        file cannot be written. */
    std::filesystem::path send (std::string_view to, std::string_view subject,
                                std::string_view body, std::time_t now);

    /** send(), for callers that only know a MailSink. */
    void deliver (std::string_view to, std::string_view subject,
                  std::string_view body, std::time_t now) override;

    /** The text of a message as send() writes it. */
    std::string compose (std::string_view to, std::string_view subject, std::string_view body,
                         std::time_t now, std::string_view messageId) const;

    /** A whole message from `fromAddress` with a new Message-ID, as send()
        writes it and as a relay is given it. Throws std::invalid_argument
        when `to` or `subject` hold a line break. */
    static std::string format (std::string_view fromAddress, std::string_view to, std::string_view subject,
                               std::string_view body, std::time_t now);

    const std::filesystem::path& folder() const noexcept { return outboxFolder; }

private:
    const std::filesystem::path outboxFolder;
    const std::string from;
    std::mutex lock;
    std::uint64_t counter = 0;
};
