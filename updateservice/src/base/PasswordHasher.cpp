#include "base/PasswordHasher.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <vector>

// Holds one of the hashes that may run at once.
class PasswordHasher::Turn
{
public:
    explicit Turn (const PasswordHasher& owner) : hasher (owner)
    {
        std::unique_lock<std::mutex> lock (hasher.turns);
        hasher.turnFree.wait (lock, [this] { return hasher.running < hasher.maxRunning; });
        ++hasher.running;
    }

    ~Turn()
    {
        {
            const std::lock_guard<std::mutex> lock (hasher.turns);
            --hasher.running;
        }

        hasher.turnFree.notify_one();
    }

    Turn (const Turn&) = delete;
    Turn& operator= (const Turn&) = delete;

private:
    const PasswordHasher& hasher;
};

PasswordHasher::PasswordHasher (Strength strength, int maxAtOnce)
    : maxRunning (maxAtOnce > 0 ? maxAtOnce : std::max (1, static_cast<int> (std::thread::hardware_concurrency())))
{
    if (sodium_init() < 0)
        throw std::runtime_error ("libsodium could not be initialised");

    switch (strength)
    {
        case Strength::fast:
            opsLimit = crypto_pwhash_OPSLIMIT_MIN;
            memLimit = crypto_pwhash_MEMLIMIT_MIN;
            break;

        case Strength::interactive:
            opsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
            memLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;
            break;

        case Strength::moderate:
            opsLimit = crypto_pwhash_OPSLIMIT_MODERATE;
            memLimit = crypto_pwhash_MEMLIMIT_MODERATE;
            break;
    }

    dummyHash = hash (randomHex (16));
}

std::string PasswordHasher::hash (std::string_view password) const
{
    char out[crypto_pwhash_STRBYTES] = {};
    const Turn turn (*this);

    if (crypto_pwhash_str_alg (out, password.data(), password.size(), opsLimit, memLimit,
                               crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error ("not enough memory to hash a password");

    return out;
}

bool PasswordHasher::verify (const std::string& storedHash, std::string_view password) const
{
    if (storedHash.size() >= crypto_pwhash_STRBYTES)
        return false;

    const Turn turn (*this);
    return crypto_pwhash_str_verify (storedHash.c_str(), password.data(), password.size()) == 0;
}

void PasswordHasher::verifyNothing (std::string_view password) const
{
    (void) verify (dummyHash, password);
}

std::string PasswordHasher::randomCode (std::size_t length)
{
    static constexpr char alphabet[] = "ABCDEFGHJKMNPQRSTUVWXYZ23456789";
    constexpr auto alphabetSize = static_cast<std::uint32_t> (sizeof (alphabet) - 1);

    std::string code;
    code.reserve (length);

    for (std::size_t i = 0; i < length; ++i)
        code += alphabet[randombytes_uniform (alphabetSize)];

    return code;
}

std::string PasswordHasher::digest (std::string_view code)
{
    unsigned char out[crypto_generichash_BYTES] = {};
    crypto_generichash (out, sizeof (out), reinterpret_cast<const unsigned char*> (code.data()),
                        code.size(), nullptr, 0);
    return std::string (reinterpret_cast<const char*> (out), sizeof (out));
}

std::string PasswordHasher::randomHex (std::size_t bytes)
{
    std::vector<unsigned char> random (bytes);
    randombytes_buf (random.data(), random.size());

    std::string hex (bytes * 2 + 1, '\0');
    sodium_bin2hex (hex.data(), hex.size(), random.data(), random.size());
    hex.pop_back();
    return hex;
}

bool PasswordHasher::parseStrength (std::string_view name, Strength& strength)
{
    if (name == "fast")        { strength = Strength::fast;        return true; }
    if (name == "interactive") { strength = Strength::interactive; return true; }
    if (name == "moderate")    { strength = Strength::moderate;    return true; }
    return false;
}
