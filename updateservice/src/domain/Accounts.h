#pragma once

#include "base/PasswordHasher.h"
#include "domain/CredentialCache.h"
#include "domain/FormDecoding.h"
#include "domain/Outcome.h"
#include "mail/MailSink.h"
#include "store/AccountStore.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/**
    The accounts of the service and the five account actions the
    application sends to "/authentication/index.php", plus the log-in check
    that the scan upload uses.

    Addresses are compared by EmailAddress::key(), so addresses that look
    the same belong to one account. Passwords are
    kept only as Argon2id hashes; reset codes only as digests.

    Failed log-ins (and wrong reset codes) are counted per client address
    and account address together, so that nobody can lock someone else
    out: `maxFailedLogins` failures within `failureWindowSeconds` lock that
    client address for that account for `lockoutSeconds`;
    `maxFailedLoginsPerAddress` failures lock a client address for every
    account; and after `maxFailedLoginsPerAccount` failures for one account
    from any addresses, addresses that have failed for it get no more
    checks while any other address still does. Accounts that do not exist
    count the same way, so a lock-out tells nothing about which exist. Each
    attempt is counted before the password is checked, so requests sent at
    once cannot run past a limit; a valid reset code is never refused.

    A sign-up, and a change to another address, mails a link that
    confirms the address (confirmAddress()); a spent reset code confirms
    it too. Only confirmed accounts count towards the versions learned
    from inventories; unconfirmed ones work for everything else.

    Sign-ups and reset requests are limited per client address, per network
    and for all addresses together, each a token bucket refilled
    continuously; sign-ups hash the password and reset
    requests hand the mail on in the same way whether or not the address
    has an account, so their timing tells nothing either.

    Thread-safe: the store, hasher and mail sink it is given are, and it
    keeps no state of its own besides the deferrer, which is set before
    serving. It does not own them; they must outlive it.
    Every refusal is an errors outcome; so is a full disk
    (Outcome::outOfRoom()) for the actions that must store something, while
    log-ins go on (see AccountStore). Other store failures throw
    Database::Error (callers answer with a generic error).
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
        int maxFailedLoginsPerAddress = 20;
        int maxFailedLoginsPerAccount = 20;
        int maxResetCodesPerHour = 5;          ///< mailed to one account
        int maxSignUpsPerAddressPerHour = 10;  ///< 0: no limit, as for the five below
        int maxSignUpsPerNetworkPerHour = 20;
        int maxSignUpsPerHour = 500;
        int maxResetRequestsPerAddressPerHour = 10;
        int maxResetRequestsPerNetworkPerHour = 20;
        int maxResetRequestsPerHour = 500;
        std::string publicUrl = "http://127.0.0.1:8750";   ///< where links in mail lead, without a trailing "/"
        std::int64_t confirmationLifetimeSeconds = 7 * 24 * 3600;
    };

    /** Seconds since 1970; called from the threads that serve requests. */
    using Clock = std::function<std::int64_t()>;

    /** With a cache, a log-in that this process verified lately skips the
        password hash (see CredentialCache). */
    Accounts (AccountStore& store, const PasswordHasher& hasher, MailSink& mail,
              Settings settings, Clock clock, CredentialCache* cache = nullptr);

    /** Answers one request to the account endpoint: the first field names
        the action, and its value must be "true". `clientAddress` is the
        address the request came from, as the HTTP server gives it. */
    Outcome handle (const FormDecoding& form, std::string_view clientAddress);

    /** The actions, each from the fields of its form and the client's
        address. Entries are checked by EntryRules again; refusals are
        errors outcomes. */
    Outcome registerAccount (const FormDecoding& form, std::string_view clientAddress);
    Outcome viewProfile (const FormDecoding& form, std::string_view clientAddress);
    Outcome editProfile (const FormDecoding& form, std::string_view clientAddress);

    /** Always a success outcome for a well-formed address, so that replies
        tell nothing about which addresses have accounts. The code is
        mailed only after it has been stored; when the mail cannot be
        written the outcome is the same, with the failure in its
        `unreportedFailure` for the caller to log (or, with a deferrer,
        thrown by the deferred work). */
    Outcome forgotPassword (const FormDecoding& form, std::string_view clientAddress);

    Outcome resetPassword (const FormDecoding& form, std::string_view clientAddress);

    /** Confirms the address of the account whose confirmation link holds
        this token: a success outcome once, then (and for every token that
        is wrong, expired or spent) the same errors outcome. */
    Outcome confirmAddress (std::string_view token);

    struct Login
    {
        bool ok = false;
        std::int64_t accountId = 0;
        std::string errorTitle, errorText;
    };

    /** Checks an address and password from a client address, counting
        failures and honouring the lock-outs. A refusal carries the title
        and text to show. */
    Login logIn (std::string_view email, std::string_view password, std::string_view clientAddress);

    /** Runs the work of a task, or queues it to run later on another
        thread; throws std::runtime_error when it can take no more. */
    using Deferrer = std::function<void (std::function<void()>)>;

    /** From now on, forgotPassword() issues and mails codes, and sign-ups
        and changed addresses their confirmation links, through the
        deferrer, after the reply: call it before requests are served. The
        deferred work throws std::exception when the code or link cannot be
        issued or mailed. Without a deferrer the work is done at once. */
    void deferMailWith (Deferrer deferrer);

    /** From now on, links in mail lead to this address (no trailing
        "/"), instead of Settings::publicUrl. Call before serving. */
    void useLinksTo (std::string publicUrl);

    /** Characters of a reset code. */
    static constexpr std::size_t resetCodeLength = 12;

    /** The key under which a client address is counted: IPv4 addresses as
        they are (also when written as IPv6-mapped), IPv6 addresses by their
        /64 network, which one subscriber usually has whole. */
    static std::string clientKey (std::string_view remoteAddress);

    /** The network a client address belongs to, for the limits per
        network and for telling reporters apart: IPv4 addresses (also
        IPv6-mapped ones) by their /24, IPv6 addresses by their /48. */
    static std::string networkKey (std::string_view remoteAddress);

private:
    /** Runs mail work through the deferrer, or at once without one; a
        failure goes to the outcome's unreportedFailure. */
    void sendLater (std::function<void()> work, Outcome& outcome);

    /** The work of mailing a new confirmation link to an account. */
    std::function<void()> confirmationMail (std::int64_t accountId, std::string email, std::int64_t time);

    /** The account an address typed at log-in means, if any. */
    std::optional<AccountStore::Credentials> findAccount (std::string_view typed);

    AccountStore::LoginLimits loginLimits() const;
    std::string lockedOutText() const;

    AccountStore& store;
    const PasswordHasher& passwords;
    MailSink& mail;
    const Settings settings;
    const Clock now;
    CredentialCache* const verified;
    Deferrer defer;
    std::string linkBase;
};
