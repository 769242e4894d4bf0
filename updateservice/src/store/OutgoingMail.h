#pragma once

#include "store/ConnectionPool.h"

#include <cstdint>
#include <string>
#include <vector>

/**
    The stored side of the mail queue: the "mail_queue" table. Each row is
    one sealed message (the store never sees a message in clear), when it
    expires, when it may next be tried, how often it was, and until when a
    sender holds it.

    Any number of processes may send from one queue: claim() marks what it
    returns as held, in a write transaction, so a message is given to one
    sender at a time; a sender that stops without saying how it went leaves
    its messages to be claimed again once the hold ends.

    Thread-safe; failures of the store throw Database::Error.
*/
class OutgoingMail
{
public:
    explicit OutgoingMail (ConnectionPool& pool);

    void add (const std::string& sealed, std::int64_t now, std::int64_t expiresAt);

    struct Claimed
    {
        std::int64_t id = 0;
        std::string sealed;
        std::int64_t attempts = 0;   ///< before this one
    };

    /** Up to `limit` messages due at `now` that nobody holds, oldest due
        first, held for `holdSeconds`. Messages past their expiry are
        removed first; `expired` gets how many. */
    std::vector<Claimed> claim (std::int64_t now, int limit, std::int64_t holdSeconds, std::int64_t& expired);

    /** The message went: it leaves the queue. */
    void sent (std::int64_t id);

    /** The message did not go: tried again from `nextAttemptAt`. */
    void failed (std::int64_t id, std::int64_t nextAttemptAt, const std::string& reason);

    /** Messages in the queue. */
    std::int64_t waiting();

private:
    ConnectionPool& connections;
};
