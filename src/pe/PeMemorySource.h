#pragma once

#include "PeByteSource.h"

namespace pe
{
    /** A ByteSource over a buffer that the caller owns and keeps alive while the source is used. */
    class MemorySource final : public ByteSource
    {
    public:
        MemorySource (const void* data, std::size_t size);

        std::uint64_t size() const override;
        std::size_t readAt (std::uint64_t offset, void* dest, std::size_t n) override;

    private:
        const unsigned char* data;
        std::size_t dataSize;
    };
}
