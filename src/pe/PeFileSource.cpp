#include "PeFileSource.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pe
{
FileSource::FileSource (const std::string& path)
{
    // O_NONBLOCK keeps open() from waiting on a FIFO; it changes nothing for regular files.
    const int handle = ::open (path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);

    if (handle < 0)
        return;

    struct stat info {};

    if (::fstat (handle, &info) != 0 || ! S_ISREG (info.st_mode) || info.st_size < 0)
    {
        ::close (handle);
        return;
    }

    fd = handle;
    fileSize = static_cast<std::uint64_t> (info.st_size);
}

FileSource::FileSource (const std::string& path, std::uint64_t knownSize)
{
    if (knownSize == 0)
        return;

    const int handle = ::open (path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);

    if (handle < 0)
        return;

    fd = handle;
    fileSize = knownSize;
}

FileSource::~FileSource()
{
    if (fd >= 0)
        ::close (fd);
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
        const auto result = ::pread (fd, dest + done, n - done, static_cast<off_t> (offset + done));

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
    constexpr auto maxOffset = static_cast<std::uint64_t> (std::numeric_limits<off_t>::max());

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
