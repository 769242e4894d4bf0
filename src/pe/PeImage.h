#pragma once

#include "PeByteSource.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pe
{
    /** A PE32 or PE32+ image read through a ByteSource, just far enough to find resources.

        Construction reads the DOS header, the PE headers and the section table; nothing
        else of the file is touched until a resource is asked for. Every read is bounded:
        at most maxSections section headers and maxDirectoryEntries entries of each resource
        directory are looked at, and a resource is read up to maxResourceBytes. Together
        with the headers that keeps the bytes read for one file at most maxBytesRead
        (about 70 KiB; a few KiB for a real plug-in), whatever the file's size.

        A malformed image is never an error: the lookups simply find nothing.
        Not thread-safe; the ByteSource must outlive the object.
    */
    class PeImage
    {
    public:
        /** The historical Windows loader limit; linkers put .rsrc among the first few sections anyway. */
        static constexpr std::size_t maxSections = 96;

        /** Integer-ID entries scanned per resource directory (string-named entries are skipped
            without reading them). Linkers sort IDs, so the version type (16) and name 1 are
            always among the first few; 64 languages of one resource is far beyond real files.
        */
        static constexpr std::size_t maxDirectoryEntries = 64;

        /** A version block's length field is 16 bits wide, so nothing beyond this can belong to it. */
        static constexpr std::size_t maxResourceBytes = 0xffff;

        /** Upper bound of the bytes read from the source for one version lookup. */
        static constexpr std::size_t maxBytesRead = 64                          // DOS header
                                                    + 4 + 20                    // signature, file header
                                                    + 2 + 136                   // optional header magic, then up to the resource directory
                                                    + maxSections * 40          // section table
                                                    + 16                        // the root directory's header, checked first
                                                    + 3 * (16 + maxDirectoryEntries * 8)   // type, name and language directories
                                                    + 16                        // data entry
                                                    + maxResourceBytes;

        explicit PeImage (ByteSource& source);

        /** True when the headers were read and the image has a resource directory. */
        bool hasResources() const noexcept;

        /** The raw data of the resource with integer type and integer name, in the preferred language:
            neutral (0), else 0x0409, else 0x0009, else 0x0400, else the lowest language present.
            std::nullopt when the directory path to the resource's data entry cannot be followed.
            Once the data entry is found the resource exists: its data is returned as far as it can
            be read (cut by the end of its section or of the file, or empty when its size is 0, its
            address lies outside every section or its data would run past SizeOfImage).
            As the Windows loader does, an image whose resource section's raw data runs past the end of
            the file has no resources, nor has one whose root directory's entries do not fit in the
            section holding it.
        */
        std::optional<std::vector<std::uint8_t>> readResource (std::uint16_t type, std::uint16_t name);

        /** Copies up to n bytes of the loaded image at rva into dest and returns how many it copied.
            The copy stops at the end of the section holding rva or at the end of the file; bytes of a
            section beyond its raw data (but within its virtual size) read as zero, as in the loaded image.
        */
        std::size_t readVirtual (std::uint32_t rva, std::uint8_t* dest, std::size_t n);

    private:
        struct Section
        {
            std::uint32_t virtualAddress = 0;
            std::uint64_t extent = 0;           // max (VirtualSize, SizeOfRawData)
            std::uint32_t rawSize = 0;
            std::uint32_t rawOffset = 0;
        };

        struct DirectoryEntry
        {
            std::uint32_t name = 0;
            std::uint32_t offset = 0;
        };

        ByteSource& source;
        std::uint64_t fileSize = 0;
        std::vector<Section> sections;
        std::uint32_t resourceRva = 0;
        std::uint32_t sizeOfImage = 0;
        bool valid = false;

        bool readFile (std::uint64_t offset, void* dest, std::size_t n);
        bool readHeaders();
        std::uint64_t bytesInSection (std::uint32_t rva) const noexcept;
        bool readVirtualExact (std::uint64_t rva, std::uint8_t* dest, std::size_t n);
        std::vector<DirectoryEntry> readIdEntries (std::uint32_t directoryOffset);
        std::optional<std::uint32_t> findSubdirectory (std::uint32_t directoryOffset, std::uint16_t id);
        std::optional<std::uint32_t> findPreferredLanguage (std::uint32_t directoryOffset);
    };
}
