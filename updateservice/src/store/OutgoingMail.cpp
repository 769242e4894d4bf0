#include "store/OutgoingMail.h"

#include "store/WriteGate.h"

OutgoingMail::OutgoingMail (ConnectionPool& pool)
    : connections (pool)
{
}

void OutgoingMail::add (const std::string& sealed, std::int64_t now, std::int64_t expiresAt)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Statement insert (*db, "INSERT INTO mail_queue (message, created_at, expires_at, next_attempt_at) "
                                     "VALUES (?1, ?2, ?3, ?2)");
    insert.bindBlob (1, sealed.data(), sealed.size()).bind (2, now).bind (3, expiresAt).run();
}

std::vector<OutgoingMail::Claimed> OutgoingMail::claim (std::int64_t now, int limit, std::int64_t holdSeconds,
                                                        std::int64_t& expired)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Transaction transaction (*db);

    Database::Statement drop (*db, "DELETE FROM mail_queue WHERE expires_at <= ?1");
    drop.bind (1, now).run();
    expired = db->changes();

    std::vector<Claimed> claimed;

    {
        Database::Statement due (*db, "SELECT id, message, attempts FROM mail_queue "
                                      "WHERE next_attempt_at <= ?1 AND claimed_until <= ?1 "
                                      "ORDER BY next_attempt_at, id LIMIT ?2");
        due.bind (1, now).bind (2, static_cast<std::int64_t> (limit));

        while (due.step())
            claimed.push_back ({ due.columnInt (0), due.columnBlob (1), due.columnInt (2) });
    }

    Database::Statement hold (*db, "UPDATE mail_queue SET claimed_until = ?2 WHERE id = ?1");

    for (const auto& message : claimed)
    {
        hold.bind (1, message.id).bind (2, now + holdSeconds).run();
        hold.reset();
    }

    transaction.commit();
    return claimed;
}

void OutgoingMail::sent (std::int64_t id)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Statement remove (*db, "DELETE FROM mail_queue WHERE id = ?1");
    remove.bind (1, id).run();
}

void OutgoingMail::failed (std::int64_t id, std::int64_t nextAttemptAt, const std::string& reason)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Statement update (*db, "UPDATE mail_queue SET attempts = attempts + 1, next_attempt_at = ?2, "
                                     "claimed_until = 0, last_error = ?3 WHERE id = ?1");
    // The relay's words, as plain ASCII, for the operator.
    std::string shown;

    for (const auto c : reason.substr (0, 500))
        shown += c >= ' ' && c <= '~' ? c : '?';

    update.bind (1, id).bind (2, nextAttemptAt).bind (3, shown).run();
}

std::int64_t OutgoingMail::waiting()
{
    auto db = connections.acquire();
    Database::Statement count (*db, "SELECT COUNT(*) FROM mail_queue");
    return count.step() ? count.columnInt (0) : 0;
}
