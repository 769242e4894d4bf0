#pragma once

#include "base/ServiceSecret.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

/**
    The log-ins this process verified lately, so that an account that logs
    in again (each scan upload does) skips the slow password hash.

    An entry is keyed by an HMAC-SHA-256 of the address key and the
    password under a key derived from the service's secret; neither the
    password nor anything it could be guessed from faster than by the hash
    is kept. It holds the account and the account's credential version
    when it was verified, and is good for `lifetime` seconds: a password
    reset or a changed address raises the version in the database, which
    every process reads with the credentials at each log-in, so old
    entries stop matching everywhere at once.

    Kept in this process's memory: a hit costs no write, and a process
    that stops takes its entries with it. At most `maxEntries` (expired
    ones go first; when all are live, all go).

    Thread-safe.
*/
class CredentialCache
{
public:
    explicit CredentialCache (const ServiceSecret& secret, std::int64_t lifetime = 10 * 60,
                              std::size_t maxEntries = 100000);

    /** True when this password was verified for this account, at this
        credential version, less than `lifetime` seconds before `now`. */
    bool knows (std::string_view emailKey, std::string_view password, std::int64_t accountId,
                std::int64_t credentialVersion, std::int64_t now);

    /** Notes a password that was just verified. */
    void remember (std::string_view emailKey, std::string_view password, std::int64_t accountId,
                   std::int64_t credentialVersion, std::int64_t now);

private:
    struct Entry
    {
        std::int64_t accountId = 0, credentialVersion = 0, expiresAt = 0;
    };

    std::string keyOf (std::string_view emailKey, std::string_view password) const;

    const ServiceSecret::Key macKey;
    const std::int64_t lifetime;
    const std::size_t maxEntries;
    std::mutex lock;
    std::unordered_map<std::string, Entry> entries;
};
