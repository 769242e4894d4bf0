#include "domain/CredentialCache.h"

#include <sodium.h>

#include <iterator>

CredentialCache::CredentialCache (const ServiceSecret& secret, std::int64_t lifetimeSeconds, std::size_t maximum)
    : macKey (secret.keyFor ("logins")), lifetime (lifetimeSeconds), maxEntries (maximum)
{
}

std::string CredentialCache::keyOf (std::string_view emailKey, std::string_view password) const
{
    // The key's length first, so that no other split of the same bytes
    // gives the same input.
    const auto length = static_cast<std::uint64_t> (emailKey.size());
    unsigned char mac[crypto_auth_hmacsha256_BYTES] = {};
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init (&state, macKey.data(), macKey.size());
    crypto_auth_hmacsha256_update (&state, reinterpret_cast<const unsigned char*> (&length), sizeof (length));
    crypto_auth_hmacsha256_update (&state, reinterpret_cast<const unsigned char*> (emailKey.data()), emailKey.size());
    crypto_auth_hmacsha256_update (&state, reinterpret_cast<const unsigned char*> (password.data()), password.size());
    crypto_auth_hmacsha256_final (&state, mac);
    sodium_memzero (&state, sizeof (state));
    return std::string (reinterpret_cast<const char*> (mac), sizeof (mac));
}

bool CredentialCache::knows (std::string_view emailKey, std::string_view password, std::int64_t accountId,
                             std::int64_t credentialVersion, std::int64_t now)
{
    const auto key = keyOf (emailKey, password);
    const std::lock_guard<std::mutex> guard (lock);
    const auto found = entries.find (key);

    if (found == entries.end())
        return false;

    const auto& entry = found->second;

    if (now < entry.expiresAt && entry.accountId == accountId && entry.credentialVersion == credentialVersion)
        return true;

    entries.erase (found);
    return false;
}

void CredentialCache::remember (std::string_view emailKey, std::string_view password, std::int64_t accountId,
                                std::int64_t credentialVersion, std::int64_t now)
{
    auto key = keyOf (emailKey, password);
    const std::lock_guard<std::mutex> guard (lock);

    if (entries.size() >= maxEntries)
    {
        for (auto it = entries.begin(); it != entries.end();)
            it = it->second.expiresAt <= now ? entries.erase (it) : std::next (it);

        if (entries.size() >= maxEntries)
            entries.clear();
    }

    entries[std::move (key)] = { accountId, credentialVersion, now + lifetime };
}
