#pragma once

#include "ConnectionPool.h"
#include "FormDecoding.h"
#include "Outbox.h"
#include "PasswordHasher.h"
#include "XmlReply.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/**
    The accounts of the service and the five account actions the
    application sends to "/authentication/index.php", plus the log-in check
    that the scan upload uses.

    Addresses are unique without regard to ASCII letter case. Passwords are
    kept only as Argon2id hashes; reset codes only as digests. Failed
    log-ins are counted per address (also for addresses without an account,
    so a lock-out tells nothing about which addresses exist); after
    `maxFailedLogins` failures within `failureWindowSeconds` the address
    cannot log in for `lockoutSeconds`.

    Thread-safe: every call takes its own connection from the pool.
    Database failures throw Database::Error (callers answer with a generic
    error); every refusal is an "Errors" reply.
*/
class Accounts
{
public:
    struct Settings
    {
        std::int64_t resetCodeLifetimeSeconds = 3600;
        int maxFailedLogins = 5;
        std::int64_t failureWindowSeconds = 15 * 60;
        std::int64_t lockoutSeconds = 15 * 60;
        int maxResetCodesPerHour = 5;
    };

    using Clock = std::function<std::int64_t()>;

    Accounts (ConnectionPool& pool, const PasswordHasher& hasher, Outbox& outbox,
              Settings settings, Clock clock);

    /** Answers one request to the account endpoint: the first field names
        the action. Returns the reply document. */
    std::string handle (const FormDecoding& form);

    std::string registerAccount (const FormDecoding& form);
    std::string viewProfile (const FormDecoding& form);
    std::string editProfile (const FormDecoding& form);
    std::string forgotPassword (const FormDecoding& form);
    std::string resetPassword (const FormDecoding& form);

    struct Login
    {
        bool ok = false;
        std::int64_t accountId = 0;
        std::string errorTitle, errorText;
    };

    /** Checks an address and password, counting failures and honouring
        the lock-out. */
    Login logIn (std::string_view email, std::string_view password);

    /** Characters of a reset code. */
    static constexpr std::size_t resetCodeLength = 12;

private:
    bool isLockedOut (Database& db, const std::string& emailKey, std::int64_t now) const;
    void recordFailure (Database& db, const std::string& emailKey, std::int64_t now) const;
    void clearFailures (Database& db, const std::string& emailKey) const;
    std::string lockedOutText() const;

    ConnectionPool& connections;
    const PasswordHasher& passwords;
    Outbox& mail;
    const Settings settings;
    const Clock now;
};
