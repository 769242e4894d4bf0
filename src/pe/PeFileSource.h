#pragma once

#include "PeByteSource.h"

#include <string>
#include <vector>

namespace pe
{
    /** Reads a file with POSIX open/pread (the C runtime's on Windows); counts the bytes it has read (for the benchmark).

        Only regular files are opened: a FIFO, socket or device named like a plug-in could
        otherwise block the caller or never end, so those leave isOpen() false.
    */
    class FileSource final : public ByteSource
    {
    public:
        explicit FileSource (const std::string& path);   // opens read-only; isOpen() false on failure

        /** Opens a file whose size the caller already knows (from listing its folder),
            which saves asking the system again. Nothing past that size is read, and a
            size of 0 (what a FIFO or a device is listed with) opens nothing at all.
        */
        FileSource (const std::string& path, std::uint64_t knownSize);
        ~FileSource() override;

        FileSource (const FileSource&) = delete;
        FileSource& operator= (const FileSource&) = delete;

        bool isOpen() const noexcept;

        /** The total number of bytes that readAt() has delivered so far. */
        std::uint64_t bytesRead() const noexcept;

        std::uint64_t size() const override;
        std::size_t readAt (std::uint64_t offset, void* dest, std::size_t n) override;

    private:
        /** The reader asks for many small, nearby ranges (headers, directory
            entries); those are served from 4 KiB chunks read once each, so a
            typical file costs a few system calls. Larger ranges are read directly.
        */
        static constexpr std::size_t chunkSize = 4096;
        static constexpr std::size_t maxChunks = 16;

        struct Chunk
        {
            std::uint64_t index = 0;
            std::size_t size = 0;
            std::vector<unsigned char> bytes;
        };

        std::size_t readDirect (std::uint64_t offset, unsigned char* dest, std::size_t n);
        const Chunk* getChunk (std::uint64_t index);

        int fd = -1;
        std::uint64_t fileSize = 0;
        std::uint64_t totalRead = 0;
        std::vector<Chunk> chunks;
        std::size_t nextChunkToReplace = 0;
    };
}
