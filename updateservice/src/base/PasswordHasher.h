#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>

/**
    Argon2id password hashes in libsodium's self-describing string form, so
    a hash made with one strength still verifies after the strength
    setting changes. Also supplies the service's random reset codes.

    At most `maxAtOnce` hashes run at the same time; more wait their
    turn. Each takes its memory cost (64 MiB at the interactive strength)
    while it runs, so the limit bounds the memory of hashing, and with it
    at the number of cores, hashes that wait do not slow those running.

    Thread-safe: libsodium is initialised once, in the constructor.
*/
class PasswordHasher
{
public:
    enum class Strength
    {
        fast,         ///< the smallest cost libsodium allows: tests and load runs only
        interactive,  ///< libsodium's interactive limits (64 MiB, 2 passes): production
        moderate      ///< libsodium's moderate limits (256 MiB, 3 passes)
    };

    /** `maxAtOnce` 0: as many as the machine has cores. */
    explicit PasswordHasher (Strength strength, int maxAtOnce = 0);

    /** The Argon2id hash of a password. Throws std::runtime_error when
        memory for the hash cannot be had. */
    std::string hash (std::string_view password) const;

    /** True when the password matches the stored hash. A malformed hash
        never matches. Takes about as long as hash(). */
    bool verify (const std::string& storedHash, std::string_view password) const;

    /** Spends the time of one verify() without any account, so that a
        log-in with an unknown address takes as long as one with a wrong
        password. */
    void verifyNothing (std::string_view password) const;

    /** A random code of `length` characters from an alphabet without
        look-alike characters (no 0/O, 1/I/L). */
    static std::string randomCode (std::size_t length);

    /** An unkeyed BLAKE2b digest of a reset code, for storage. */
    static std::string digest (std::string_view code);

    /** A random text of hex digits with `bytes` bytes of randomness. */
    static std::string randomHex (std::size_t bytes);

    static bool parseStrength (std::string_view name, Strength& strength);

private:
    class Turn;

    unsigned long long opsLimit = 0;
    int maxRunning = 1;
    mutable int running = 0;
    mutable std::mutex turns;
    mutable std::condition_variable turnFree;
    std::size_t memLimit = 0;
    std::string dummyHash;
};
