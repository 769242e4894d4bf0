#include "store/AccountStore.h"

#include "base/Utf8.h"
#include "store/InventoryStore.h"
#include "store/WriteGate.h"

#include <sodium.h>

#include <algorithm>
#include <functional>

namespace
{
    // Whether every store can keep the key as text: PostgreSQL's text holds
    // UTF-8 without NUL characters only.
    bool isText (const std::string& emailKey)
    {
        return Utf8::isValid (emailKey) && emailKey.find ('\0') == std::string::npos;
    }

    // The key of a log-in attempt as the store keeps it. What was typed in
    // place of an address may be no text at all; its attempts still count,
    // under its bytes in hex.
    std::string attemptKey (const std::string& emailKey)
    {
        if (isText (emailKey))
            return emailKey;

        static constexpr char digits[] = "0123456789abcdef";
        std::string hex = "\\x";

        for (const auto c : emailKey)
        {
            const auto byte = static_cast<unsigned char> (c);
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }

        return hex;
    }

    // No account has a key that is no text on PostgreSQL; SQLite may keep
    // one from before addresses were checked.
    bool mayBeStored (Database& db, const std::string& emailKey)
    {
        return db.kind() == Database::Kind::sqlite || isText (emailKey);
    }

    bool emailTakenByOther (Database& db, const std::string& emailKey, std::int64_t exceptId)
    {
        Database::Statement query (db, "SELECT id FROM account WHERE email_key = ?1 AND id <> ?2");
        query.bind (1, emailKey).bind (2, exceptId);
        return query.step();
    }

    std::int64_t flag (bool value)
    {
        return value ? 1 : 0;
    }
}

AccountStore::AccountStore (ConnectionPool& pool)
    : connections (pool)
{
}

//==============================================================================
std::vector<AccountStore::Credentials> AccountStore::findCredentials (const std::string& emailKey)
{
    auto db = connections.acquire();

    if (! mayBeStored (*db, emailKey))
        return {};

    Database::Statement query (*db, "SELECT id, email, password_hash, credential_version FROM account "
                                    "WHERE email_key = ?1 ORDER BY id");
    query.bind (1, emailKey);
    std::vector<Credentials> found;

    while (query.step())
        found.push_back ({ query.columnInt (0), query.columnText (1), query.columnText (2), query.columnInt (3) });

    return found;
}

bool AccountStore::isEmailTaken (const std::string& emailKey, std::int64_t exceptAccountId)
{
    auto db = connections.acquire();
    return mayBeStored (*db, emailKey) && emailTakenByOther (*db, emailKey, exceptAccountId);
}

std::int64_t AccountStore::createAccount (const NewAccount& account)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Transaction transaction (*db);

    if (emailTakenByOther (*db, account.emailKey, 0))
        return 0;

    Database::Statement insert (*db, "INSERT INTO account (email, email_key, password_hash, first_name, "
                                     "last_name, is_developer, created_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) "
                                     "RETURNING id");
    insert.bind (1, account.email).bind (2, account.emailKey).bind (3, account.passwordHash)
          .bind (4, account.firstName).bind (5, account.lastName).bind (6, flag (account.isDeveloper))
          .bind (7, account.createdAt);
    if (! insert.step())
        throw Database::Error ("a new account got no id");

    const auto id = insert.columnInt (0);
    insert.run();

    transaction.commit();
    return id;
}

std::optional<AccountStore::Profile> AccountStore::findProfile (std::int64_t accountId)
{
    auto db = connections.acquire();
    Database::Statement query (*db, "SELECT first_name, last_name, is_developer FROM account WHERE id = ?1");
    query.bind (1, accountId);

    if (! query.step())
        return std::nullopt;

    return Profile { query.columnText (0), query.columnText (1), query.columnInt (2) != 0 };
}

AccountStore::ProfileSaved AccountStore::updateProfile (const ProfileChange& change)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Transaction transaction (*db);

    if (emailTakenByOther (*db, change.emailKey, change.accountId))
        return ProfileSaved::taken;

    Database::Statement current (*db, "SELECT email_key FROM account WHERE id = ?1");
    current.bind (1, change.accountId);
    const bool newAddress = current.step() && current.columnText (0) != change.emailKey;

    if (newAddress)
    {
        Database::Statement unconfirm (*db, "UPDATE account SET confirmed_at = NULL WHERE id = ?1");
        unconfirm.bind (1, change.accountId).run();
        Database::Statement forget (*db, "DELETE FROM confirmation WHERE account_id = ?1");
        forget.bind (1, change.accountId).run();
        InventoryStore::removeReportsOf (*db, change.accountId);
    }

    Database::Statement update (*db, "UPDATE account SET email = ?1, email_key = ?2, first_name = ?3, "
                                     "last_name = ?4, is_developer = ?5, credential_version = credential_version + 1 "
                                     "WHERE id = ?6");
    update.bind (1, change.email).bind (2, change.emailKey).bind (3, change.firstName)
          .bind (4, change.lastName).bind (5, flag (change.isDeveloper)).bind (6, change.accountId).run();

    transaction.commit();
    return newAddress ? ProfileSaved::newAddress : ProfileSaved::saved;
}

//==============================================================================
bool AccountStore::admitAttempt (const std::string& client, const std::string& typedKey, std::int64_t now,
                                 const LoginLimits& limits)
{
    const auto emailKey = attemptKey (typedKey);
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());

    // Attempts older than both the counting window and a lock-out can no
    // longer matter.
    const auto horizon = now - std::max (limits.window, limits.lockout) - 60;

    for (auto* kept : { &unwritten, &unforgotten })
        kept->erase (std::remove_if (kept->begin(), kept->end(), [horizon] (const Attempt& a) { return a.at < horizon; }),
                     kept->end());

    Database::Transaction transaction (*db);

    // The latest `limit` attempt times of one kind, stored or kept in
    // memory, newest first.
    const auto latest = [&] (const char* sql, int limit, auto&& isOfKind)
    {
        Database::Statement query (*db, sql);
        query.bind (1, client).bind (2, emailKey).bind (3, static_cast<std::int64_t> (limit));
        std::vector<std::int64_t> times;

        while (query.step())
            times.push_back (query.columnInt (0));

        for (const auto& attempt : unwritten)
            if (isOfKind (attempt))
                times.push_back (attempt.at);

        std::sort (times.begin(), times.end(), std::greater<>());
        times.resize (std::min (times.size(), static_cast<std::size_t> (limit)));
        return times;
    };

    const auto locked = [&] (const char* sql, int limit, auto&& isOfKind)
    {
        if (limit <= 0)
            return false;

        const auto times = latest (sql, limit, isOfKind);

        return times.size() == static_cast<std::size_t> (limit)
            && times.front() - times.back() < limits.window
            && now < times.front() + limits.lockout;
    };

    const auto samePair = [&] (const Attempt& a) { return a.client == client && a.emailKey == emailKey; };
    const auto sameClient = [&] (const Attempt& a) { return a.client == client; };
    const auto sameAccount = [&] (const Attempt& a) { return a.emailKey == emailKey; };

    const bool refused =
        locked ("SELECT at FROM login_attempt WHERE client = ?1 AND email_key = ?2 ORDER BY at DESC LIMIT ?3",
                limits.perPair, samePair)
     || locked ("SELECT at FROM login_attempt WHERE client = ?1 AND ?2 = ?2 ORDER BY at DESC LIMIT ?3",
                limits.perClient, sameClient)
     || (locked ("SELECT at FROM login_attempt WHERE email_key = ?2 AND ?1 = ?1 ORDER BY at DESC LIMIT ?3",
                 limits.perAccount, sameAccount)
         && [&]
            {
                // The account is under attack from many addresses: those that
                // already failed for it get no more checks; an address that
                // has not failed still does, so its owner can log in.
                Database::Statement failed (*db, "SELECT 1 FROM login_attempt WHERE client = ?1 AND email_key = ?2 "
                                                 "LIMIT 1");
                failed.bind (1, client).bind (2, emailKey);
                return failed.step() || std::any_of (unwritten.begin(), unwritten.end(), samePair);
            }());

    try
    {
        Database::Statement prune (*db, "DELETE FROM login_attempt WHERE at < ?1");
        prune.bind (1, horizon).run();

        // What a full disk held back, in the order it happened.
        for (const auto& forgotten : unforgotten)
        {
            Database::Statement forget (*db, "DELETE FROM login_attempt WHERE client = ?1 AND email_key = ?2 AND at <= ?3");
            forget.bind (1, forgotten.client).bind (2, forgotten.emailKey).bind (3, forgotten.at).run();
        }

        Database::Statement insert (*db, "INSERT INTO login_attempt (client, email_key, at) VALUES (?1, ?2, ?3)");

        for (const auto& attempt : unwritten)
        {
            insert.bind (1, attempt.client).bind (2, attempt.emailKey).bind (3, attempt.at).run();
            insert.reset();
        }

        if (! refused)
            insert.bind (1, client).bind (2, emailKey).bind (3, now).run();

        transaction.commit();
        unwritten.clear();
        unforgotten.clear();
    }
    catch (const Database::Error& e)
    {
        // No room on the disk: the attempt counts in memory until it can be
        // written, so a full disk neither refuses right passwords nor
        // lifts a lock-out.
        if (! e.isFull() || unwritten.size() >= maxUnwrittenAttempts)
            throw;

        if (! refused)
            unwritten.push_back ({ client, emailKey, now });
    }

    return ! refused;
}

void AccountStore::forgetFailures (const std::string& client, const std::string& typedKey, std::int64_t now)
{
    const auto emailKey = attemptKey (typedKey);
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());

    unwritten.erase (std::remove_if (unwritten.begin(), unwritten.end(), [&] (const Attempt& a)
                                     { return a.client == client && a.emailKey == emailKey && a.at <= now; }),
                     unwritten.end());

    try
    {
        Database::Statement remove (*db, "DELETE FROM login_attempt WHERE client = ?1 AND email_key = ?2 AND at <= ?3");
        remove.bind (1, client).bind (2, emailKey).bind (3, now).run();
    }
    catch (const Database::Error& e)
    {
        if (! e.isFull())
            throw;

        unforgotten.push_back ({ client, emailKey, now });
    }
}

//==============================================================================
bool AccountStore::admitRequest (const std::string& kind, const std::string& client, const std::string& network,
                                 std::int64_t now, const RequestLimits& limits)
{
    constexpr std::int64_t microseconds = 1000000;
    constexpr std::int64_t hour = 3600 * microseconds;
    const auto time = now * microseconds;

    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Transaction transaction (*db);

    // A bucket that is full again needs no row.
    Database::Statement prune (*db, "DELETE FROM rate_bucket WHERE full_at <= ?1");
    prune.bind (1, time).run();

    struct Bucket
    {
        std::string key;
        int limit;
        std::int64_t fullAt = 0;
    };

    std::vector<Bucket> buckets { { "address " + client, limits.perClient },
                                  { "network " + network, limits.perNetwork },
                                  { "all", limits.overall } };

    for (auto& bucket : buckets)
    {
        if (bucket.limit <= 0)
            continue;

        Database::Statement query (*db, "SELECT full_at FROM rate_bucket WHERE kind = ?1 AND key = ?2");
        query.bind (1, kind).bind (2, bucket.key);

        // Each request moves the time the bucket is full again by its
        // share of the hour; a bucket that would be full only more than an
        // hour from now holds no request.
        bucket.fullAt = std::max (query.step() ? query.columnInt (0) : time, time) + hour / bucket.limit;

        if (bucket.fullAt - time > hour)
            return false;
    }

    Database::Statement store (*db, "INSERT INTO rate_bucket (kind, key, full_at) VALUES (?1, ?2, ?3) "
                                    "ON CONFLICT (kind, key) DO UPDATE SET full_at = excluded.full_at");

    for (const auto& bucket : buckets)
    {
        if (bucket.limit <= 0)
            continue;

        store.bind (1, kind).bind (2, bucket.key).bind (3, bucket.fullAt).run();
        store.reset();
    }

    transaction.commit();
    return true;
}

//==============================================================================
namespace
{
    // Marks an account confirmed and brings in its reports, unless it was
    // already; its waiting token goes either way.
    void markConfirmed (Database& db, std::int64_t accountId, std::int64_t now)
    {
        Database::Statement forget (db, "DELETE FROM confirmation WHERE account_id = ?1");
        forget.bind (1, accountId).run();

        Database::Statement mark (db, "UPDATE account SET confirmed_at = ?2 WHERE id = ?1 AND confirmed_at IS NULL");
        mark.bind (1, accountId).bind (2, now).run();

        if (db.changes() == 1)
            InventoryStore::addReportsOf (db, accountId);
    }
}

void AccountStore::issueConfirmation (std::int64_t accountId, const std::string& digest, std::int64_t expiresAt)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Statement insert (*db, "INSERT INTO confirmation (account_id, token_hash, expires_at) VALUES (?1, ?2, ?3) "
                                     "ON CONFLICT (account_id) DO UPDATE SET token_hash = excluded.token_hash, "
                                     "expires_at = excluded.expires_at");
    insert.bind (1, accountId).bindBlob (2, digest.data(), digest.size()).bind (3, expiresAt).run();
}

std::optional<std::int64_t> AccountStore::confirm (const std::string& digest, std::int64_t now)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Transaction transaction (*db);

    // Tokens are random, so their digests give nothing away to a timing
    // of this look-up.
    Database::Statement query (*db, "SELECT account_id FROM confirmation WHERE token_hash = ?1 AND expires_at > ?2");
    query.bindBlob (1, digest.data(), digest.size()).bind (2, now);

    if (! query.step())
        return std::nullopt;

    const auto accountId = query.columnInt (0);
    query.reset();
    markConfirmed (*db, accountId, now);
    transaction.commit();
    return accountId;
}

//==============================================================================
std::optional<std::string> AccountStore::issueResetCode (const NewResetCode& code)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Transaction transaction (*db);

    const auto accountId = code.accountId;
    std::string storedEmail;

    {
        Database::Statement query (*db, "SELECT email FROM account WHERE id = ?1");
        query.bind (1, accountId);

        if (! query.step())
            return std::nullopt;

        storedEmail = query.columnText (0);
    }

    {
        Database::Statement recent (*db, "SELECT COUNT(*) FROM reset_code WHERE account_id = ?1 AND created_at > ?2");
        recent.bind (1, accountId).bind (2, code.countFrom);

        if (recent.step() && recent.columnInt (0) >= code.maxCodesSinceCountFrom)
            return std::nullopt;
    }

    // Only the newest code counts, so a message that went astray earlier is
    // of no use to whoever finds it.
    Database::Statement retire (*db, "UPDATE reset_code SET used_at = ?2 WHERE account_id = ?1 AND used_at IS NULL");
    retire.bind (1, accountId).bind (2, code.createdAt).run();

    Database::Statement insert (*db, "INSERT INTO reset_code (account_id, code_hash, created_at, expires_at) "
                                     "VALUES (?1, ?2, ?3, ?4)");
    insert.bind (1, accountId).bindBlob (2, code.digest.data(), code.digest.size()).bind (3, code.createdAt)
          .bind (4, code.expiresAt).run();

    transaction.commit();
    return storedEmail;
}

std::optional<AccountStore::ResetCodeMatch> AccountStore::findResetCode (std::int64_t accountId,
                                                                         const std::string& digest,
                                                                         std::int64_t now)
{
    auto db = connections.acquire();
    Database::Statement query (*db, "SELECT account_id, id, code_hash FROM reset_code "
                                    "WHERE account_id = ?1 AND used_at IS NULL AND expires_at > ?2");
    query.bind (1, accountId).bind (2, now);

    std::optional<ResetCodeMatch> match;

    while (query.step())
    {
        const auto stored = query.columnBlob (2);

        if (stored.size() == digest.size()
            && sodium_memcmp (stored.data(), digest.data(), digest.size()) == 0)
            match = ResetCodeMatch { query.columnInt (0), query.columnInt (1) };
    }

    return match;
}

bool AccountStore::spendResetCode (const ResetCodeMatch& match, const std::string& newPasswordHash,
                                   const std::string& client, const std::string& emailKey, std::int64_t now)
{
    auto db = connections.acquire();
    const std::lock_guard<std::mutex> gate (writeGate());
    Database::Transaction transaction (*db);

    Database::Statement spend (*db, "UPDATE reset_code SET used_at = ?2 WHERE id = ?1 AND used_at IS NULL");
    spend.bind (1, match.codeId).bind (2, now).run();

    if (db->changes() != 1)
        return false;

    Database::Statement update (*db, "UPDATE account SET password_hash = ?1, credential_version = credential_version + 1 "
                                     "WHERE id = ?2");
    update.bind (1, newPasswordHash).bind (2, match.accountId).run();
    markConfirmed (*db, match.accountId, now);

    Database::Statement clear (*db, "DELETE FROM login_attempt WHERE client = ?1 AND email_key = ?2");
    clear.bind (1, client).bind (2, attemptKey (emailKey)).run();

    transaction.commit();
    return true;
}
