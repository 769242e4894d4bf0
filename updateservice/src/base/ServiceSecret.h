#pragma once

#include <array>
#include <string>
#include <string_view>

/**
    The service's secret: 32 random bytes kept in a file of their own,
    outside the database, readable by the service's user only (mode
    0600). Every process that serves one database must be given the same
    file. Keys for each use are derived from it (libsodium's key
    derivation), so no two uses share a key.

    The file is made at the first start when it is missing: written whole
    under a temporary name and then given its name, so that processes
    starting at once all end up with the one that was placed first.
*/
class ServiceSecret
{
public:
    using Key = std::array<unsigned char, 32>;

    /** Reads the secret, making the file first when it does not exist.
        Throws std::runtime_error when it cannot be read or made, or holds
        anything but 32 bytes, or others than its owner may read it. */
    static ServiceSecret loadOrCreate (const std::string& file);

    /** A random secret that lives in memory only, for tests. */
    static ServiceSecret random();

    /** The key for one use, named by up to 8 characters ("mailbox",
        "logins"). */
    Key keyFor (std::string_view use) const;

private:
    explicit ServiceSecret (const Key& key) : master (key) {}

    Key master {};
};
