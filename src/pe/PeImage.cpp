#include "PeImage.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pe
{
namespace
{
    constexpr std::uint32_t highBit = 0x80000000u;

    constexpr std::size_t dosHeaderSize = 64;
    constexpr std::size_t lfanewOffset = 0x3c;
    constexpr std::size_t fileHeaderSize = 20;
    constexpr std::size_t sectionHeaderSize = 40;
    constexpr std::size_t directoryHeaderSize = 16;
    constexpr std::size_t directoryEntrySize = 8;
    constexpr std::size_t dataEntrySize = 16;

    constexpr std::uint16_t pe32Magic = 0x10b;
    constexpr std::uint16_t pe32PlusMagic = 0x20b;
    constexpr std::uint32_t resourceDirectoryIndex = 2;

    std::uint16_t read16 (const std::uint8_t* p) noexcept
    {
        return static_cast<std::uint16_t> (p[0] | (p[1] << 8));
    }

    std::uint32_t read32 (const std::uint8_t* p) noexcept
    {
        return static_cast<std::uint32_t> (p[0])
             | (static_cast<std::uint32_t> (p[1]) << 8)
             | (static_cast<std::uint32_t> (p[2]) << 16)
             | (static_cast<std::uint32_t> (p[3]) << 24);
    }

    /** Lower is better; among the other languages (rank 4) the lowest ID wins. */
    int languageRank (std::uint16_t language) noexcept
    {
        switch (language)
        {
            case 0x0000: return 0;  // neutral
            case 0x0409: return 1;  // U.S. English
            case 0x0009: return 2;  // English
            case 0x0400: return 3;  // process default
            default:     return 4;
        }
    }
}

//==============================================================================
PeImage::PeImage (ByteSource& s)
    : source (s),
      fileSize (s.size())
{
    valid = readHeaders();
}

bool PeImage::hasResources() const noexcept
{
    return valid;
}

bool PeImage::readFile (std::uint64_t offset, void* dest, std::size_t n)
{
    if (offset > fileSize || n > fileSize - offset)
        return false;

    return source.readAt (offset, dest, n) == n;
}

bool PeImage::readHeaders()
{
    std::array<std::uint8_t, dosHeaderSize> dos {};

    if (! readFile (0, dos.data(), dos.size()) || dos[0] != 'M' || dos[1] != 'Z')
        return false;

    const std::uint64_t ntOffset = read32 (dos.data() + lfanewOffset);

    std::array<std::uint8_t, 4 + fileHeaderSize> nt {};

    if (! readFile (ntOffset, nt.data(), nt.size())
         || nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0)
        return false;

    const std::size_t numberOfSections = read16 (nt.data() + 4 + 2);
    const std::uint64_t sizeOfOptionalHeader = read16 (nt.data() + 4 + 16);
    const std::uint64_t optionalOffset = ntOffset + nt.size();

    // The optional header differs between PE32 and PE32+ only in the width of a few
    // fields before the data directories, which moves NumberOfRvaAndSizes and the table.
    std::array<std::uint8_t, 2> magicBytes {};

    if (! readFile (optionalOffset, magicBytes.data(), magicBytes.size()))
        return false;

    const auto magic = read16 (magicBytes.data());
    std::size_t countOffset = 0;

    if (magic == pe32Magic)
        countOffset = 92;
    else if (magic == pe32PlusMagic)
        countOffset = 108;
    else
        return false;

    const std::size_t directoriesOffset = countOffset + 4;
    const std::size_t resourceEntryOffset = directoriesOffset + resourceDirectoryIndex * 8;

    std::array<std::uint8_t, 136> optional {};
    const std::size_t optionalBytes = resourceEntryOffset + 8;

    if (! readFile (optionalOffset, optional.data(), optionalBytes))
        return false;

    if (read32 (optional.data() + countOffset) <= resourceDirectoryIndex)
        return false;

    resourceRva = read32 (optional.data() + resourceEntryOffset);
    sizeOfImage = read32 (optional.data() + 56);

    if (resourceRva == 0)
        return false;

    // The section table follows the optional header at the size the file header declares,
    // whatever the optional header's real contents are.
    const auto tableOffset = optionalOffset + sizeOfOptionalHeader;
    const auto count = std::min (numberOfSections, maxSections);

    std::vector<std::uint8_t> table (count * sectionHeaderSize);
    std::size_t got = 0;

    if (tableOffset < fileSize && ! table.empty())
        got = source.readAt (tableOffset, table.data(), table.size());

    // A table cut short by the end of the file still gives its complete entries.
    for (std::size_t i = 0; i < got / sectionHeaderSize; ++i)
    {
        const auto* header = table.data() + i * sectionHeaderSize;

        Section section;
        section.virtualAddress = read32 (header + 12);
        section.rawSize = read32 (header + 16);
        section.rawOffset = read32 (header + 20);
        section.extent = std::max (read32 (header + 8), section.rawSize);

        if (section.extent > 0)
            sections.push_back (section);
    }

    // The loader refuses an image whose resource section claims raw data the file does not hold.
    const auto resources = std::find_if (sections.begin(), sections.end(), [this] (const Section& s)
    {
        return resourceRva >= s.virtualAddress && resourceRva - s.virtualAddress < s.extent;
    });

    if (resources != sections.end() && resources->rawSize > 0
         && std::uint64_t { resources->rawOffset } + resources->rawSize > fileSize)
        return false;

    return ! sections.empty();
}

std::size_t PeImage::readVirtual (std::uint32_t rva, std::uint8_t* dest, std::size_t n)
{
    if (dest == nullptr || n == 0)
        return 0;

    // Sections may overlap in a crafted file; the first one that holds the address wins.
    const auto found = std::find_if (sections.begin(), sections.end(), [rva] (const Section& s)
    {
        return rva >= s.virtualAddress && rva - s.virtualAddress < s.extent;
    });

    if (found == sections.end())
        return 0;

    const std::uint64_t delta = rva - found->virtualAddress;
    const auto count = static_cast<std::size_t> (std::min<std::uint64_t> (n, found->extent - delta));

    std::size_t fromFile = 0;

    if (delta < found->rawSize)
    {
        fromFile = static_cast<std::size_t> (std::min<std::uint64_t> (count, found->rawSize - delta));
        const std::uint64_t offset = found->rawOffset + delta;
        const auto got = offset < fileSize ? source.readAt (offset, dest, fromFile) : 0;

        // Raw data that the file does not actually hold is missing, not zero.
        if (got < fromFile)
            return got;
    }

    // The loader zero-fills a section beyond its raw data up to its virtual size.
    std::memset (dest + fromFile, 0, count - fromFile);
    return count;
}

std::uint64_t PeImage::bytesInSection (std::uint32_t rva) const noexcept
{
    const auto found = std::find_if (sections.begin(), sections.end(), [rva] (const Section& s)
    {
        return rva >= s.virtualAddress && rva - s.virtualAddress < s.extent;
    });

    return found == sections.end() ? 0 : found->extent - (rva - found->virtualAddress);
}

bool PeImage::readVirtualExact (std::uint64_t rva, std::uint8_t* dest, std::size_t n)
{
    if (rva > 0xffffffffu)
        return false;

    return readVirtual (static_cast<std::uint32_t> (rva), dest, n) == n;
}

std::vector<PeImage::DirectoryEntry> PeImage::readIdEntries (std::uint32_t directoryOffset)
{
    std::vector<DirectoryEntry> entries;
    std::array<std::uint8_t, directoryHeaderSize> header {};
    const std::uint64_t directoryRva = std::uint64_t { resourceRva } + directoryOffset;

    if (! readVirtualExact (directoryRva, header.data(), header.size()))
        return entries;

    const std::size_t namedCount = read16 (header.data() + 12);
    const std::size_t idCount = std::min<std::size_t> (read16 (header.data() + 14), maxDirectoryEntries);

    if (idCount == 0)
        return entries;

    // String-named entries come first in a directory; they never match an integer ID, so skip them.
    const std::uint64_t firstIdRva = directoryRva + directoryHeaderSize + namedCount * directoryEntrySize;

    if (firstIdRva > 0xffffffffu)
        return entries;

    std::vector<std::uint8_t> raw (idCount * directoryEntrySize);
    const auto got = readVirtual (static_cast<std::uint32_t> (firstIdRva), raw.data(), raw.size());

    for (std::size_t i = 0; i < got / directoryEntrySize; ++i)
    {
        const auto* p = raw.data() + i * directoryEntrySize;
        entries.push_back ({ read32 (p), read32 (p + 4) });
    }

    return entries;
}

std::optional<std::uint32_t> PeImage::findSubdirectory (std::uint32_t directoryOffset, std::uint16_t id)
{
    for (const auto& entry : readIdEntries (directoryOffset))
    {
        if ((entry.name & highBit) != 0 || (entry.name & 0xffffu) != id)
            continue;

        // The first entry with the ID decides; one that does not lead to a directory ends the search.
        if ((entry.offset & highBit) == 0)
            return std::nullopt;

        return entry.offset & ~highBit;
    }

    return std::nullopt;
}

std::optional<std::uint32_t> PeImage::findPreferredLanguage (std::uint32_t directoryOffset)
{
    std::optional<DirectoryEntry> best;

    for (const auto& entry : readIdEntries (directoryOffset))
    {
        if ((entry.name & highBit) != 0)
            continue;

        const auto language = static_cast<std::uint16_t> (entry.name & 0xffffu);

        if (! best.has_value())
        {
            best = entry;
            continue;
        }

        const auto bestLanguage = static_cast<std::uint16_t> (best->name & 0xffffu);
        const auto rank = languageRank (language);
        const auto bestRank = languageRank (bestLanguage);

        if (rank < bestRank || (rank == bestRank && rank == 4 && language < bestLanguage))
            best = entry;
    }

    // A language entry must point at a data entry, not at another directory.
    if (! best.has_value() || (best->offset & highBit) != 0)
        return std::nullopt;

    return best->offset;
}

std::optional<std::vector<std::uint8_t>> PeImage::readResource (std::uint16_t type, std::uint16_t name)
{
    if (! valid)
        return std::nullopt;

    // The loader refuses a root directory whose entries cannot fit in the section holding it.
    std::array<std::uint8_t, directoryHeaderSize> root {};

    if (! readVirtualExact (resourceRva, root.data(), root.size()))
        return std::nullopt;

    const std::uint64_t rootBytes = directoryHeaderSize
                                    + (std::uint64_t { read16 (root.data() + 12) } + read16 (root.data() + 14)) * directoryEntrySize;

    if (rootBytes > bytesInSection (resourceRva))
        return std::nullopt;

    // The directory tree has exactly three levels (type, name, language), so a directory
    // that points back at itself or its parent cannot make this loop.
    const auto nameDirectory = findSubdirectory (0, type);

    if (! nameDirectory.has_value())
        return std::nullopt;

    const auto languageDirectory = findSubdirectory (*nameDirectory, name);

    if (! languageDirectory.has_value())
        return std::nullopt;

    const auto dataEntryOffset = findPreferredLanguage (*languageDirectory);

    if (! dataEntryOffset.has_value())
        return std::nullopt;

    std::array<std::uint8_t, dataEntrySize> dataEntry {};

    if (! readVirtualExact (std::uint64_t { resourceRva } + *dataEntryOffset, dataEntry.data(), dataEntry.size()))
        return std::nullopt;

    // Unlike the directory offsets, the data entry holds a real RVA.
    const auto dataRva = read32 (dataEntry.data());
    const auto dataSize = read32 (dataEntry.data() + 4);

    // From here on the resource exists, even when its data cannot be had: the caller
    // then gets an empty or shortened block, not "no resource". Data said to run past
    // the end of the image is refused outright, as the loader refuses it.
    if (std::uint64_t { dataRva } + dataSize > sizeOfImage)
        return std::vector<std::uint8_t>();

    std::vector<std::uint8_t> data (std::min<std::size_t> (dataSize, maxResourceBytes));
    data.resize (readVirtual (dataRva, data.data(), data.size()));
    return data;
}
}
