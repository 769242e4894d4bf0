#include "PeMemorySource.h"

#include <algorithm>
#include <cstring>

namespace pe
{
MemorySource::MemorySource (const void* d, std::size_t size)
    : data (static_cast<const unsigned char*> (d)),
      dataSize (d != nullptr ? size : 0)
{
}

std::uint64_t MemorySource::size() const
{
    return dataSize;
}

std::size_t MemorySource::readAt (std::uint64_t offset, void* dest, std::size_t n)
{
    if (dest == nullptr || offset >= dataSize)
        return 0;

    const auto start = static_cast<std::size_t> (offset);
    const auto count = std::min (n, dataSize - start);

    if (count > 0)
        std::memcpy (dest, data + start, count);

    return count;
}
}
