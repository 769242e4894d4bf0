#include "base/ServiceSecret.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace
{
    [[noreturn]] void fail (const std::string& file, const std::string& what)
    {
        throw std::runtime_error ("the secret file " + file + " " + what);
    }

    bool readSecret (const std::string& file, ServiceSecret::Key& key)
    {
        const int fd = ::open (file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);

        if (fd < 0)
        {
            if (errno == ENOENT)
                return false;

            fail (file, "cannot be read: " + std::string (std::strerror (errno)));
        }

        struct stat info {};
        unsigned char buffer[33] = {};
        const auto got = ::fstat (fd, &info) == 0 ? ::read (fd, buffer, sizeof (buffer)) : -1;
        ::close (fd);

        if ((info.st_mode & 077) != 0)
            fail (file, "may be read by others than its owner: make it mode 0600");

        if (got != static_cast<ssize_t> (key.size()))
            fail (file, "does not hold a secret of 32 bytes");

        std::memcpy (key.data(), buffer, key.size());
        sodium_memzero (buffer, sizeof (buffer));
        return true;
    }
}

ServiceSecret ServiceSecret::loadOrCreate (const std::string& file)
{
    if (sodium_init() < 0)
        throw std::runtime_error ("libsodium could not be initialised");

    Key key {};

    if (readSecret (file, key))
        return ServiceSecret (key);

    randombytes_buf (key.data(), key.size());
    const auto temporary = file + "." + std::to_string (::getpid()) + ".tmp";
    const int fd = ::open (temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);

    if (fd < 0)
        fail (file, "cannot be made: " + std::string (std::strerror (errno)));

    const bool written = ::write (fd, key.data(), key.size()) == static_cast<ssize_t> (key.size()) && ::fsync (fd) == 0;
    ::close (fd);

    // Placed only if no other process placed one meanwhile; whichever was
    // first is the secret of all.
    const bool placed = written && ::link (temporary.c_str(), file.c_str()) == 0;
    const auto linkError = errno;
    ::unlink (temporary.c_str());

    if (! written || (! placed && linkError != EEXIST))
        fail (file, "cannot be made: " + std::string (std::strerror (written ? linkError : errno)));

    if (! placed && ! readSecret (file, key))
        fail (file, "vanished while it was made");

    return ServiceSecret (key);
}

ServiceSecret ServiceSecret::random()
{
    if (sodium_init() < 0)
        throw std::runtime_error ("libsodium could not be initialised");

    Key key {};
    randombytes_buf (key.data(), key.size());
    return ServiceSecret (key);
}

ServiceSecret::Key ServiceSecret::keyFor (std::string_view use) const
{
    char context[crypto_kdf_CONTEXTBYTES] = {};
    std::memcpy (context, use.data(), std::min (use.size(), sizeof (context)));

    Key key {};
    crypto_kdf_derive_from_key (key.data(), key.size(), 1, context, master.data());
    return key;
}
