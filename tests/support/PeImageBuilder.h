#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/*  Builds small PE32 / PE32+ images in memory with a resource section, and the version
    blocks to put in them, so that the version reader can be tested on layouts (and damage)
    that a resource compiler would never produce.
*/
namespace petest
{
    using Bytes = std::vector<std::uint8_t>;

    /** One block of a version tree: wLength, wValueLength, wType, szKey, value, children. */
    struct VersionNode
    {
        std::u16string key;
        Bytes value;
        std::uint16_t type = 1;
        std::uint16_t valueLength = 0;
        std::optional<std::uint16_t> lengthOverride;   // stored instead of the real length
        bool terminateKey = true;                      // false leaves out the key's NUL
        std::vector<VersionNode> children;

        /** The block's bytes, without padding after its end. */
        Bytes serialise() const;
    };

    /** A String block; the value is stored with a terminating NUL, wValueLength in characters. */
    VersionNode stringEntry (const std::u16string& key, const std::u16string& value);

    /** A String block with no value at all (wValueLength 0, nothing after the key). */
    VersionNode keyWithoutValue (const std::u16string& key);

    VersionNode stringTable (const std::u16string& name, std::vector<VersionNode> entries);
    VersionNode stringFileInfo (std::vector<VersionNode> tables);

    /** VarFileInfo\Translation with one language / code-page pair. */
    VersionNode varFileInfo (std::uint16_t language, std::uint16_t codePage);

    /** The root "VS_VERSION_INFO" block with a VS_FIXEDFILEINFO value. */
    VersionNode versionRoot (std::vector<VersionNode> children);

    /** A whole version block with one string table holding ProductName, ProductVersion and CompanyName. */
    Bytes simpleVersionBlock (const std::u16string& table, const std::u16string& name,
                              const std::u16string& version, const std::u16string& vendor);

    //==============================================================================
    /** An integer or string resource identifier. */
    struct ResourceId
    {
        ResourceId (std::uint16_t number) : id (number) {}
        ResourceId (std::u16string text) : name (std::move (text)) {}

        bool isString() const noexcept   { return name.has_value(); }

        std::uint16_t id = 0;
        std::optional<std::u16string> name;
    };

    /** File offsets of the structures in a built image, for tests that damage them. */
    struct ImageLayout
    {
        std::size_t peHeader = 0;               // "PE\0\0"
        std::size_t optionalHeader = 0;
        std::size_t numberOfRvaAndSizes = 0;
        std::size_t resourceDirectoryEntry = 0; // data directory 2: RVA, size
        std::size_t sectionTable = 0;
        std::size_t resourceSectionHeader = 0;
        std::size_t resourceSection = 0;        // raw data of .rsrc = the root directory
        std::vector<std::size_t> typeDirectories, nameDirectories;
        std::vector<std::size_t> dataEntries;   // in the order the resources were added
        std::vector<std::size_t> data;          // likewise
    };

    class PeImageBuilder
    {
    public:
        explicit PeImageBuilder (bool pe32Plus = false);

        PeImageBuilder& add (ResourceId type, ResourceId name, std::uint16_t language, Bytes data);
        PeImageBuilder& addVersion (Bytes block, std::uint16_t language = 0x0409);

        Bytes build (ImageLayout* layout = nullptr) const;

        /** Where the resource section is loaded, and where its raw data starts in the file. */
        std::uint32_t resourceRva = 0x2000;
        std::uint32_t resourceFileOffset = 0x600;

        /** Write the .rsrc section header before the .text one. */
        bool resourceSectionFirst = false;

        /** Keep integer IDs (and languages) in the order they were added instead of sorting them. */
        bool sortIds = true;

        /** Put the resource data (not the directories) in a third section loaded at this RVA. */
        std::optional<std::uint32_t> separateDataRva;

        /** Stored instead of the real .rsrc VirtualSize / SizeOfRawData. */
        std::optional<std::uint32_t> resourceVirtualSize, resourceRawSize;

    private:
        struct Entry
        {
            ResourceId type, name;
            std::uint16_t language;
            Bytes data;
        };

        bool pe32Plus;
        std::vector<Entry> entries;
    };

    //==============================================================================
    void put16 (Bytes&, std::size_t offset, std::uint16_t value);
    void put32 (Bytes&, std::size_t offset, std::uint32_t value);
}
