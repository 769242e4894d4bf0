#pragma once

#include <ctime>
#include <string_view>

/**
    Where the service's outgoing messages go. The Outbox writes them as
    files; tests put a recording sink in its place.

    Implementations must be thread-safe: requests served at once may send
    at the same time. deliver() throws std::exception (or a type derived
    from it) when the message could not be handed on.
*/
class MailSink
{
public:
    virtual ~MailSink() = default;

    /** Hands on one plain-text message. `to` and `subject` must not
        contain line breaks. */
    virtual void deliver (std::string_view to, std::string_view subject,
                          std::string_view body, std::time_t now) = 0;

protected:
    MailSink() = default;
    MailSink (const MailSink&) = default;
    MailSink& operator= (const MailSink&) = default;
};
