#pragma once

#include "ConnectionPool.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/**
    The stored side of the accounts: the "account", "login_failure" and
    "reset_code" tables. Addresses are looked up by their key, the address
    in ASCII lower case; times are seconds since 1970 as the caller's clock
    gives them. Policy (what counts as a lock-out, how long codes live,
    how many may be sent) stays with the caller, which passes the numbers.

    Thread-safe: each call takes its own connection from the pool and
    gives it back before returning. Calls that write do so in one
    transaction begun with BEGIN IMMEDIATE, so concurrent writers queue for
    the write lock instead of failing. Failures of the store throw
    Database::Error.
*/
class AccountStore
{
public:
    explicit AccountStore (ConnectionPool& pool);

    //==============================================================================
    struct Credentials
    {
        std::int64_t accountId = 0;
        std::string passwordHash;
    };

    /** The account with this address key, if there is one. */
    std::optional<Credentials> findCredentials (const std::string& emailKey);

    /** True when an account other than `exceptAccountId` (0: any account)
        uses this address key. */
    bool isEmailTaken (const std::string& emailKey, std::int64_t exceptAccountId = 0);

    struct NewAccount
    {
        std::string email, emailKey, passwordHash, firstName, lastName;
        bool isDeveloper = false;
        std::int64_t createdAt = 0;
    };

    /** Adds an account, unless the address key is taken by then (checked
        again under the write lock): returns false and changes nothing in
        that case. */
    bool createAccount (const NewAccount& account);

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

    /** Saves new details (not the password), unless another account uses
        the new address key by then: returns false and changes nothing in
        that case. */
    bool updateProfile (const ProfileChange& change);

    //==============================================================================
    /** The times of the latest `count` failed log-ins of an address key,
        newest first. */
    std::vector<std::int64_t> latestFailures (const std::string& emailKey, std::size_t count);

    /** Records a failed log-in, and forgets this key's failures from
        before `forgetBefore`. */
    void recordFailure (const std::string& emailKey, std::int64_t at, std::int64_t forgetBefore);

    /** Forgets every failed log-in of an address key. Takes no write lock
        when there is nothing to forget. */
    void clearFailures (const std::string& emailKey);

    //==============================================================================
    struct NewResetCode
    {
        std::string emailKey;
        std::string digest;              ///< of the code; the code itself is never stored
        std::int64_t createdAt = 0;
        std::int64_t expiresAt = 0;
        std::int64_t countFrom = 0;      ///< codes created after this time count against...
        int maxCodesSinceCountFrom = 0;  ///< ...this limit
    };

    /** Stores a reset code for the account with this address key and
        retires its older unused codes, all in one transaction that has
        committed when this returns. Returns the account's address as
        typed at sign-up, for the message. Returns nothing, and stores
        nothing, when there is no such account or it already had the
        most codes allowed since `countFrom`. */
    std::optional<std::string> issueResetCode (const NewResetCode& code);

    struct ResetCodeMatch
    {
        std::int64_t accountId = 0;
        std::int64_t codeId = 0;
    };

    /** Finds an unused code of that account, unexpired at `now`, with this
        digest (compared in constant time). */
    std::optional<ResetCodeMatch> findResetCode (const std::string& emailKey, const std::string& digest,
                                                 std::int64_t now);

    /** Spends the code and sets the new password hash, and forgets the
        address key's failed log-ins, in one transaction. The code is spent
        by whichever request marks it first: returns false, changing
        nothing, when it was already used. */
    bool spendResetCode (const ResetCodeMatch& match, const std::string& newPasswordHash,
                         const std::string& emailKey, std::int64_t now);

private:
    ConnectionPool& connections;
};
