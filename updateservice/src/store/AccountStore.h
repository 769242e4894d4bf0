#pragma once

#include "store/ConnectionPool.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/**
    The stored side of the accounts: the "account", "login_attempt",
    "rate_bucket" and "reset_code" tables. Addresses are looked up by their
    key (EmailAddress::key()), which accounts made before that form was
    used may share; times are seconds since 1970 as the caller's clock
    gives them. Policy (how long codes live, how many may be sent, the
    limits of log-ins and requests) stays with the caller, which passes the
    numbers. Every counter is kept in the database, so several processes
    serving one database enforce the limits together.

    Log-in attempts go on when the disk is full: an attempt that cannot be
    written is counted in this process's memory, together with the stored
    ones, until a later call can write it; so is forgetting the failures of
    a log-in that succeeded.

    Thread-safe: each call takes its own connection from the pool and
    gives it back before returning. Calls that write do so in one
    transaction begun with BEGIN IMMEDIATE, so concurrent writers queue for
    the write lock instead of failing. Failures of the store throw
    Database::Error (isFull() when the disk has no room).
*/
class AccountStore
{
public:
    explicit AccountStore (ConnectionPool& pool);

    //==============================================================================
    struct Credentials
    {
        std::int64_t accountId = 0;
        std::string email;           ///< as typed at sign-up
        std::string passwordHash;
        std::int64_t credentialVersion = 0;   ///< raised by every password reset and change of address
    };

    /** The accounts with this address key: one, or none, or several made
        before addresses were compared by that key, oldest first. */
    std::vector<Credentials> findCredentials (const std::string& emailKey);

    /** True when an account other than `exceptAccountId` (0: any account)
        uses this address key. */
    bool isEmailTaken (const std::string& emailKey, std::int64_t exceptAccountId = 0);

    struct NewAccount
    {
        std::string email, emailKey, passwordHash, firstName, lastName;
        bool isDeveloper = false;
        std::int64_t createdAt = 0;
    };

    /** Adds an account, its address not yet confirmed, unless the address
        key is taken by then (checked again under the write lock). Returns
        the new account's id, or 0, changing nothing, when it was taken. */
    std::int64_t createAccount (const NewAccount& account);

    struct Profile
    {
        std::string firstName, lastName;
        bool isDeveloper = false;
    };

    /** The details of an account, if it exists. */
    std::optional<Profile> findProfile (std::int64_t accountId);

    struct ProfileChange
    {
        std::int64_t accountId = 0;
        std::string email, emailKey, firstName, lastName;
        bool isDeveloper = false;
    };

    enum class ProfileSaved
    {
        taken,        ///< another account uses the new address; nothing changed
        saved,
        newAddress    ///< saved with an address of another key, which is not confirmed yet
    };

    /** Saves new details (not the password), unless another account uses
        the new address key by then. A new key makes the address
        unconfirmed: its waiting token goes, and the account's reports are
        taken back until it is confirmed. */
    ProfileSaved updateProfile (const ProfileChange& change);

    //==============================================================================
    /** How many failed log-ins lock what, and for how long. A lock holds
        when the latest `n` failures of its kind all fall within `window`
        seconds (the oldest less than `window` seconds before the latest;
        one exactly `window` seconds older no longer counts), and lasts
        `lockout` seconds after the latest of them. A limit of 0 never
        locks. */
    struct LoginLimits
    {
        int perPair = 5;        ///< failures of one client address for one account
        int perClient = 20;     ///< failures of one client address, for any accounts
        int perAccount = 20;    ///< failures for one account from any addresses: then addresses
                                ///< with failures for it are refused, others still get a check
        std::int64_t window = 15 * 60;
        std::int64_t lockout = 15 * 60;
    };

    /** Decides whether a client address may have a password or code of an
        address key checked, and if so records the attempt as a failure
        (undone by forgetFailures() when it succeeds), all in one write
        transaction, so that requests at once cannot run past a limit.
        Returns false when a limit refuses it (nothing is recorded then).
        Forgets attempts too old to matter.

        The limits count the stored attempts and those kept in memory.
        When the disk is full, an admitted attempt is kept in memory and
        written with the next call that can write; only when that memory
        is full too (maxUnwrittenAttempts) does this throw the full
        disk's Database::Error. */
    bool admitAttempt (const std::string& client, const std::string& emailKey, std::int64_t now,
                       const LoginLimits& limits);

    /** After a successful check at `now`: forgets the failures of this
        client address for this address key up to then, the admitted
        attempt among them. On a full disk the stored ones are forgotten
        with the next call that can write; this does not fail for that. */
    void forgetFailures (const std::string& client, const std::string& emailKey, std::int64_t now);

    /** Attempts kept in memory at most while the disk is full. */
    static constexpr std::size_t maxUnwrittenAttempts = 100000;

    //==============================================================================
    /** How many requests of a kind an hour a client address, its network
        and all addresses together may make; 0: no such limit. */
    struct RequestLimits
    {
        int perClient = 10;
        int perNetwork = 20;
        int overall = 500;
    };

    /** Admits a request of one kind ("registerpost", "forgotpassword")
        from a client address in a network, or refuses it, in one write
        transaction. Each limit is a token bucket: it holds as many
        requests as the limit and refills continuously at the limit per
        hour, so a spent bucket gives a request again after an hour divided
        by the limit. A request takes one from each of its three buckets,
        and is refused, taking none, when any of them is empty. */
    bool admitRequest (const std::string& kind, const std::string& client, const std::string& network,
                       std::int64_t now, const RequestLimits& limits);

    //==============================================================================
    /** Stores the digest of an account's confirmation token, replacing any
        it had. */
    void issueConfirmation (std::int64_t accountId, const std::string& digest, std::int64_t expiresAt);

    /** Spends the token with this digest, unexpired at `now`, and marks its
        account confirmed, writing the reports of its inventories; returns
        the account, or nothing when no such token is waiting. */
    std::optional<std::int64_t> confirm (const std::string& digest, std::int64_t now);

    //==============================================================================
    struct NewResetCode
    {
        std::int64_t accountId = 0;
        std::string digest;              ///< of the code; the code itself is never stored
        std::int64_t createdAt = 0;
        std::int64_t expiresAt = 0;
        std::int64_t countFrom = 0;      ///< codes created after this time count against...
        int maxCodesSinceCountFrom = 0;  ///< ...this limit
    };

    /** Stores a reset code for the account and retires its older unused
        codes, all in one transaction that has committed when this returns.
        Returns the account's address as typed at sign-up, for the message.
        Returns nothing, and stores nothing, when there is no such account
        or it already had the most codes allowed since `countFrom`. */
    std::optional<std::string> issueResetCode (const NewResetCode& code);

    struct ResetCodeMatch
    {
        std::int64_t accountId = 0;
        std::int64_t codeId = 0;
    };

    /** Finds an unused code of that account, unexpired at `now`, with this
        digest (compared in constant time). */
    std::optional<ResetCodeMatch> findResetCode (std::int64_t accountId, const std::string& digest,
                                                 std::int64_t now);

    /** Spends the code and sets the new password hash, confirms the
        address (the code was mailed to it) and forgets the failed log-ins
        of this client address for the address key, in one transaction. The code is spent by whichever request marks it first:
        returns false, changing nothing, when it was already used. */
    bool spendResetCode (const ResetCodeMatch& match, const std::string& newPasswordHash,
                         const std::string& client, const std::string& emailKey, std::int64_t now);

private:
    struct Attempt
    {
        std::string client, emailKey;
        std::int64_t at = 0;   ///< for a forgetting: the failures up to this time
    };

    // Kept in memory while the disk is full; guarded by writeGate().
    std::vector<Attempt> unwritten, unforgotten;

    ConnectionPool& connections;
};
