#include "AccountStore.h"

#include <sodium.h>

namespace
{
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
std::optional<AccountStore::Credentials> AccountStore::findCredentials (const std::string& emailKey)
{
    auto db = connections.acquire();
    Database::Statement query (*db, "SELECT id, password_hash FROM account WHERE email_key = ?1");
    query.bind (1, emailKey);

    if (! query.step())
        return std::nullopt;

    return Credentials { query.columnInt (0), query.columnText (1) };
}

bool AccountStore::isEmailTaken (const std::string& emailKey, std::int64_t exceptAccountId)
{
    auto db = connections.acquire();
    return emailTakenByOther (*db, emailKey, exceptAccountId);
}

bool AccountStore::createAccount (const NewAccount& account)
{
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    if (emailTakenByOther (*db, account.emailKey, 0))
        return false;

    Database::Statement insert (*db, "INSERT INTO account (email, email_key, password_hash, first_name, "
                                     "last_name, is_developer, created_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.bind (1, account.email).bind (2, account.emailKey).bind (3, account.passwordHash)
          .bind (4, account.firstName).bind (5, account.lastName).bind (6, flag (account.isDeveloper))
          .bind (7, account.createdAt).run();

    transaction.commit();
    return true;
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

bool AccountStore::updateProfile (const ProfileChange& change)
{
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    if (emailTakenByOther (*db, change.emailKey, change.accountId))
        return false;

    Database::Statement update (*db, "UPDATE account SET email = ?1, email_key = ?2, first_name = ?3, "
                                     "last_name = ?4, is_developer = ?5 WHERE id = ?6");
    update.bind (1, change.email).bind (2, change.emailKey).bind (3, change.firstName)
          .bind (4, change.lastName).bind (5, flag (change.isDeveloper)).bind (6, change.accountId).run();

    transaction.commit();
    return true;
}

//==============================================================================
std::vector<std::int64_t> AccountStore::latestFailures (const std::string& emailKey, std::size_t count)
{
    auto db = connections.acquire();
    Database::Statement query (*db, "SELECT at FROM login_failure WHERE email_key = ?1 ORDER BY at DESC LIMIT ?2");
    query.bind (1, emailKey).bind (2, static_cast<std::int64_t> (count));

    std::vector<std::int64_t> times;

    while (query.step())
        times.push_back (query.columnInt (0));

    return times;
}

void AccountStore::recordFailure (const std::string& emailKey, std::int64_t at, std::int64_t forgetBefore)
{
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    Database::Statement insert (*db, "INSERT INTO login_failure (email_key, at) VALUES (?1, ?2)");
    insert.bind (1, emailKey).bind (2, at).run();

    Database::Statement prune (*db, "DELETE FROM login_failure WHERE email_key = ?1 AND at < ?2");
    prune.bind (1, emailKey).bind (2, forgetBefore).run();

    transaction.commit();
}

void AccountStore::clearFailures (const std::string& emailKey)
{
    auto db = connections.acquire();
    Database::Statement any (*db, "SELECT 1 FROM login_failure WHERE email_key = ?1 LIMIT 1");
    any.bind (1, emailKey);

    if (! any.step())
        return;

    Database::Statement remove (*db, "DELETE FROM login_failure WHERE email_key = ?1");
    remove.bind (1, emailKey).run();
}

//==============================================================================
std::optional<std::string> AccountStore::issueResetCode (const NewResetCode& code)
{
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    std::int64_t accountId = 0;
    std::string storedEmail;

    {
        Database::Statement query (*db, "SELECT id, email FROM account WHERE email_key = ?1");
        query.bind (1, code.emailKey);

        if (! query.step())
            return std::nullopt;

        accountId = query.columnInt (0);
        storedEmail = query.columnText (1);
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

std::optional<AccountStore::ResetCodeMatch> AccountStore::findResetCode (const std::string& emailKey,
                                                                         const std::string& digest,
                                                                         std::int64_t now)
{
    auto db = connections.acquire();
    Database::Statement query (*db, "SELECT a.id, r.id, r.code_hash FROM account a "
                                    "JOIN reset_code r ON r.account_id = a.id "
                                    "WHERE a.email_key = ?1 AND r.used_at IS NULL AND r.expires_at > ?2");
    query.bind (1, emailKey).bind (2, now);

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
                                   const std::string& emailKey, std::int64_t now)
{
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    Database::Statement spend (*db, "UPDATE reset_code SET used_at = ?2 WHERE id = ?1 AND used_at IS NULL");
    spend.bind (1, match.codeId).bind (2, now).run();

    if (db->changes() != 1)
        return false;

    Database::Statement update (*db, "UPDATE account SET password_hash = ?1 WHERE id = ?2");
    update.bind (1, newPasswordHash).bind (2, match.accountId).run();

    Database::Statement clear (*db, "DELETE FROM login_failure WHERE email_key = ?1");
    clear.bind (1, emailKey).run();

    transaction.commit();
    return true;
}
