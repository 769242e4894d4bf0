#include "PeFileSource.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
 #include <io.h>
 #include <stringapiset.h>
#else
 #include <unistd.h>
#endif

namespace pe
{
namespace
{
#ifdef _WIN32
    /** Windows paths are handed over as UTF-8, or, failing that, in the ANSI
        code page (what a console program's arguments are). */
    std::wstring widePath (const std::string& path)
    {
        for (const auto codePage : { (unsigned) CP_UTF8, (unsigned) CP_ACP })
        {
            const auto flags = codePage == CP_UTF8 ? (unsigned long) MB_ERR_INVALID_CHARS : 0ul;
            const auto length = MultiByteToWideChar (codePage, flags, path.data(), (int) path.size(), nullptr, 0);

            if (length > 0 || path.empty())
            {
                std::wstring wide ((std::size_t) length, L'\0');
                MultiByteToWideChar (codePage, flags, path.data(), (int) path.size(), wide.data(), length);
                return wide;
            }
        }

        return {};
    }

    int openReadOnly (const std::string& path)
    {
        return ::_wopen (widePath (path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    }

    int closeFile (int handle)   { return ::_close (handle); }

    bool isRegularFile (int handle, std::uint64_t& size)
    {
        struct _stat64 info {};

        if (::_fstat64 (handle, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG || info.st_size < 0)
            return false;

        size = static_cast<std::uint64_t> (info.st_size);
        return true;
    }

    long long readFileAt (int handle, unsigned char* dest, std::size_t n, std::uint64_t offset)
    {
        // One source is read by one thread, so seeking and reading need no lock.
        if (::_lseeki64 (handle, static_cast<long long> (offset), SEEK_SET) < 0)
            return -1;

        return ::_read (handle, dest, static_cast<unsigned> (std::min<std::size_t> (n, 1u << 30)));
    }

    using FileOffset = long long;
#else
    int openReadOnly (const std::string& path)
    {
        // O_NONBLOCK keeps open() from waiting on a FIFO; it changes nothing for regular files.
        return ::open (path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    }

    int closeFile (int handle)   { return ::close (handle); }

    bool isRegularFile (int handle, std::uint64_t& size)
    {
        struct stat info {};

        if (::fstat (handle, &info) != 0 || ! S_ISREG (info.st_mode) || info.st_size < 0)
            return false;

        size = static_cast<std::uint64_t> (info.st_size);
        return true;
    }

    long long readFileAt (int handle, unsigned char* dest, std::size_t n, std::uint64_t offset)
    {
        return ::pread (handle, dest, n, static_cast<off_t> (offset));
    }

    using FileOffset = off_t;
#endif
}

FileSource::FileSource (const std::string& path)
{
    const int handle = openReadOnly (path);

    if (handle < 0)
        return;

    std::uint64_t regularSize = 0;

    if (! isRegularFile (handle, regularSize))
    {
        closeFile (handle);
        return;
    }

    fd = handle;
    fileSize = regularSize;
}

FileSource::FileSource (const std::string& path, std::uint64_t knownSize)
{
    if (knownSize == 0)
        return;

    const int handle = openReadOnly (path);

    if (handle < 0)
        return;

    fd = handle;
    fileSize = knownSize;
}

FileSource::~FileSource()
{
    if (fd >= 0)
        closeFile (fd);
}

bool FileSource::isOpen() const noexcept
{
    return fd >= 0;
}

std::uint64_t FileSource::bytesRead() const noexcept
{
    return totalRead;
}

std::uint64_t FileSource::size() const
{
    return fileSize;
}

std::size_t FileSource::readDirect (std::uint64_t offset, unsigned char* dest, std::size_t n)
{
    std::size_t done = 0;

    while (done < n)
    {
        const auto result = readFileAt (fd, dest + done, n - done, offset + done);

        if (result < 0 && errno == EINTR)
            continue;

        if (result <= 0)
            break;

        done += static_cast<std::size_t> (result);
    }

    totalRead += done;
    return done;
}

const FileSource::Chunk* FileSource::getChunk (std::uint64_t index)
{
    for (const auto& chunk : chunks)
        if (chunk.index == index)
            return &chunk;

    Chunk* slot = nullptr;

    if (chunks.size() < maxChunks)
    {
        slot = &chunks.emplace_back();
    }
    else
    {
        slot = &chunks[nextChunkToReplace];
        nextChunkToReplace = (nextChunkToReplace + 1) % maxChunks;
    }

    const auto offset = index * chunkSize;
    slot->index = index;
    slot->bytes.resize (chunkSize);
    slot->size = readDirect (offset, slot->bytes.data(),
                             static_cast<std::size_t> (std::min<std::uint64_t> (chunkSize, fileSize - offset)));
    return slot;
}

std::size_t FileSource::readAt (std::uint64_t offset, void* dest, std::size_t n)
{
    constexpr auto maxOffset = static_cast<std::uint64_t> (std::numeric_limits<FileOffset>::max());

    if (fd < 0 || dest == nullptr || offset >= fileSize || offset > maxOffset)
        return 0;

    // Never ask for more than the file held when it was opened.
    n = static_cast<std::size_t> (std::min<std::uint64_t> (n, fileSize - offset));
    auto* out = static_cast<unsigned char*> (dest);

    if (n > chunkSize)
        return readDirect (offset, out, n);

    std::size_t done = 0;

    while (done < n)
    {
        const auto position = offset + done;
        const auto* chunk = getChunk (position / chunkSize);
        const auto within = static_cast<std::size_t> (position % chunkSize);

        if (chunk->size <= within)
            break;   // the file ended (or could not be read) before this position

        const auto count = std::min (n - done, chunk->size - within);
        std::copy_n (chunk->bytes.data() + within, count, out + done);
        done += count;
    }

    return done;
}
}
