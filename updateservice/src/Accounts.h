#pragma once

#include "AccountStore.h"
#include "FormDecoding.h"
#include "MailSink.h"
#include "Outcome.h"
#include "PasswordHasher.h"

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

    Thread-safe: the store, hasher and mail sink it is given are, and it
    keeps no state of its own. It does not own them; they must outlive it.
    Store failures throw Database::Error (callers answer with a generic
    error); every refusal is an errors outcome.
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

    /** Seconds since 1970; called from the threads that serve requests. */
    using Clock = std::function<std::int64_t()>;

    Accounts (AccountStore& store, const PasswordHasher& hasher, MailSink& mail,
              Settings settings, Clock clock);

    /** Answers one request to the account endpoint: the first field names
        the action, and its value must be "true". */
    Outcome handle (const FormDecoding& form);

    /** The actions, each from the fields of its form. Entries are checked
        by EntryRules again; refusals are errors outcomes. */
    Outcome registerAccount (const FormDecoding& form);
    Outcome viewProfile (const FormDecoding& form);
    Outcome editProfile (const FormDecoding& form);

    /** Always a success outcome for a well-formed address, so that replies
        tell nothing about which addresses have accounts. The code is
        mailed only after it has been stored; when the mail cannot be
        written the outcome is the same, with the failure in its
        `unreportedFailure` for the caller to log. */
    Outcome forgotPassword (const FormDecoding& form);

    Outcome resetPassword (const FormDecoding& form);

    struct Login
    {
        bool ok = false;
        std::int64_t accountId = 0;
        std::string errorTitle, errorText;
    };

    /** Checks an address and password, counting failures and honouring
        the lock-out. A refusal carries the title and text to show. */
    Login logIn (std::string_view email, std::string_view password);

    /** Characters of a reset code. */
    static constexpr std::size_t resetCodeLength = 12;

private:
    bool isLockedOut (const std::string& emailKey, std::int64_t now) const;
    void recordFailure (const std::string& emailKey, std::int64_t now) const;
    std::string lockedOutText() const;

    AccountStore& store;
    const PasswordHasher& passwords;
    MailSink& mail;
    const Settings settings;
    const Clock now;
};
