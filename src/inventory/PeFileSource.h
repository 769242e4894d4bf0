#pragma once

#include "PeByteSource.h"

#include <string>

namespace pe
{
    /** Reads a file with POSIX open/pread; counts the bytes it has read (for the benchmark).

        Only regular files are opened: a FIFO, socket or device named like a plug-in could
        otherwise block the caller or never end, so those leave isOpen() false.
    */
    class FileSource final : public ByteSource
    {
    public:
        explicit FileSource (const std::string& path);   // opens read-only; isOpen() false on failure
        ~FileSource() override;

        FileSource (const FileSource&) = delete;
        FileSource& operator= (const FileSource&) = delete;

        bool isOpen() const noexcept;

        /** The total number of bytes that readAt() has delivered so far. */
        std::uint64_t bytesRead() const noexcept;

        std::uint64_t size() const override;
        std::size_t readAt (std::uint64_t offset, void* dest, std::size_t n) override;

    private:
        int fd = -1;
        std::uint64_t fileSize = 0;
        std::uint64_t totalRead = 0;
    };
}
