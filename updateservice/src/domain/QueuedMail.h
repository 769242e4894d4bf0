#pragma once

#include "base/ServiceSecret.h"
#include "mail/MailSink.h"
#include "store/OutgoingMail.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

/**
    Mail by way of the queue in the database: deliver() writes the whole
    message, seals it (libsodium's secretbox, under a key derived from the
    service's secret, which is kept outside the database) and stores it,
    so the reset codes and links it holds are never in the database in
    clear. A MailSender in any process that has the secret sends it.
*/
class QueuedMail : public MailSink
{
public:
    struct Settings
    {
        std::string mailFrom;
        std::int64_t lifetimeSeconds = 48 * 3600;   ///< a message not sent by then is dropped
    };

    QueuedMail (OutgoingMail& queue, const ServiceSecret& secret, Settings settings,
                std::function<void()> wakeSender = {});

    void deliver (std::string_view to, std::string_view subject, std::string_view body, std::time_t now) override;

    struct Message
    {
        std::string to, text;
    };

    /** The recipient and text of a sealed message; nothing when it was
        not sealed with this secret or was altered. */
    std::optional<Message> open (const std::string& sealed) const;

private:
    OutgoingMail& queue;
    const ServiceSecret::Key key;
    const Settings settings;
    const std::function<void()> wakeSender;
};

/**
    Sends what the queue holds, on a thread of its own: claims the messages
    that are due, opens them and hands each to `send`. One that went leaves
    the queue; one that did not is tried again after `retrySeconds`,
    doubled with each failure up to `maxRetrySeconds`, until it expires.
    Looks every `pollMilliseconds` (other processes queue too) and when
    woken. The destructor finishes the message under way and stops.
*/
class MailSender
{
public:
    struct Settings
    {
        std::int64_t retrySeconds = 60;
        std::int64_t maxRetrySeconds = 3600;
        int pollMilliseconds = 1000;
        std::int64_t holdSeconds = 600;   ///< longer than a few sends may take
    };

    using Send = std::function<void (std::string_view to, std::string_view message)>;
    using Report = std::function<void (const std::string& what)>;
    using Clock = std::function<std::int64_t()>;

    MailSender (OutgoingMail& queue, const QueuedMail& opener, Send send, Settings settings, Clock clock,
                Report report);
    ~MailSender();

    MailSender (const MailSender&) = delete;
    MailSender& operator= (const MailSender&) = delete;

    /** Looks at the queue now. From any thread. */
    void wake();

private:
    void run();
    void sendDue();

    OutgoingMail& queue;
    const QueuedMail& opener;
    const Send send;
    const Settings settings;
    const Clock now;
    const Report report;

    std::mutex lock;
    std::condition_variable woken;
    bool pending = false, stopping = false;
    std::thread worker;
};
