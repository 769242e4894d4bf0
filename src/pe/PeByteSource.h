#pragma once

#include <cstddef>
#include <cstdint>

namespace pe
{
    /** A random-access source of bytes: a file or a memory buffer.

        The version reader asks only for the few small ranges it needs, so a source
        never has to hold or map a whole file. A source is used by one thread at a time.
    */
    class ByteSource
    {
    public:
        virtual ~ByteSource() = default;

        /** The number of bytes available, as known when the source was opened. */
        virtual std::uint64_t size() const = 0;

        /** Reads up to n bytes at offset into dest; returns the number read (fewer at the end or on error). */
        virtual std::size_t readAt (std::uint64_t offset, void* dest, std::size_t n) = 0;
    };
}
