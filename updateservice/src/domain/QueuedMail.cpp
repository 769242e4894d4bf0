#include "domain/QueuedMail.h"

#include "mail/Outbox.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>

QueuedMail::QueuedMail (OutgoingMail& outgoing, const ServiceSecret& secret, Settings mailSettings,
                        std::function<void()> wake)
    : queue (outgoing), key (secret.keyFor ("mailbox")), settings (std::move (mailSettings)), wakeSender (std::move (wake))
{
}

void QueuedMail::deliver (std::string_view to, std::string_view subject, std::string_view body, std::time_t now)
{
    // The recipient, a line break (which no address holds), the message.
    const auto plain = std::string (to) + "\n" + Outbox::format (settings.mailFrom, to, subject, body, now);

    std::string sealed (crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + plain.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*> (sealed.data());
    randombytes_buf (out, crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy (out + crypto_secretbox_NONCEBYTES, reinterpret_cast<const unsigned char*> (plain.data()),
                           plain.size(), out, key.data());

    queue.add (sealed, static_cast<std::int64_t> (now), static_cast<std::int64_t> (now) + settings.lifetimeSeconds);

    if (wakeSender)
        wakeSender();
}

std::optional<QueuedMail::Message> QueuedMail::open (const std::string& sealed) const
{
    constexpr auto overhead = crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES;

    if (sealed.size() < overhead)
        return std::nullopt;

    const auto* in = reinterpret_cast<const unsigned char*> (sealed.data());
    std::string plain (sealed.size() - overhead, '\0');

    if (crypto_secretbox_open_easy (reinterpret_cast<unsigned char*> (plain.data()), in + crypto_secretbox_NONCEBYTES,
                                    sealed.size() - crypto_secretbox_NONCEBYTES, in, key.data()) != 0)
        return std::nullopt;

    const auto lineEnd = plain.find ('\n');

    if (lineEnd == std::string::npos)
        return std::nullopt;

    return Message { plain.substr (0, lineEnd), plain.substr (lineEnd + 1) };
}

//==============================================================================
MailSender::MailSender (OutgoingMail& outgoing, const QueuedMail& sealedBy, Send sendMessage, Settings senderSettings,
                        Clock clock, Report reportFailure)
    : queue (outgoing), opener (sealedBy), send (std::move (sendMessage)), settings (senderSettings),
      now (std::move (clock)), report (std::move (reportFailure))
{
    worker = std::thread ([this] { run(); });
}

MailSender::~MailSender()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        stopping = true;
    }

    woken.notify_all();
    worker.join();
}

void MailSender::wake()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        pending = true;
    }

    woken.notify_all();
}

void MailSender::run()
{
    for (;;)
    {
        {
            std::unique_lock<std::mutex> guard (lock);
            woken.wait_for (guard, std::chrono::milliseconds (settings.pollMilliseconds),
                            [this] { return pending || stopping; });

            if (stopping)
                return;

            pending = false;
        }

        try
        {
            sendDue();
        }
        catch (const std::exception& e)
        {
            report (std::string ("the mail queue cannot be read: ") + e.what());
        }
    }
}

void MailSender::sendDue()
{
    for (;;)
    {
        std::int64_t expired = 0;
        const auto time = now();
        const auto due = queue.claim (time, 5, settings.holdSeconds, expired);

        if (expired > 0)
            report (std::to_string (expired) + " queued messages expired unsent");

        for (const auto& message : due)
        {
            const auto opened = opener.open (message.sealed);

            try
            {
                if (! opened)
                    throw std::runtime_error ("it was sealed with another secret");

                send (opened->to, opened->text);
                queue.sent (message.id);
            }
            catch (const std::exception& e)
            {
                const auto shift = std::min<std::int64_t> (message.attempts, 20);
                const auto wait = std::min (settings.maxRetrySeconds, settings.retrySeconds << shift);
                queue.failed (message.id, time + wait, e.what());
                report ("mail #" + std::to_string (message.id) + " not sent (attempt " + std::to_string (message.attempts + 1)
                        + ", next in " + std::to_string (wait) + " s): " + e.what());
            }

            {
                const std::lock_guard<std::mutex> guard (lock);

                if (stopping)
                    return;
            }
        }

        if (due.size() < 5)
            return;
    }
}
