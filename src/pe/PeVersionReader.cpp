#include "PeVersionReader.h"

#include "BestFit1252Table.h"
#include "PeImage.h"

#include <algorithm>
#include <array>

namespace pe
{
namespace
{
    constexpr std::uint16_t versionResourceType = 16;   // RT_VERSION
    constexpr std::uint16_t versionResourceName = 1;    // VS_VERSION_INFO

    /*  Every block of the version tree has the same layout:
            WORD wLength; WORD wValueLength; WORD wType; WCHAR szKey[]; (pad to 4) Value; (pad to 4) Children
        Offsets are aligned relative to the start of the root block, which is where the
        Windows functions align them too (their buffer starts aligned).
    */
    constexpr std::size_t blockHeaderSize = 6;

    /*  The 16-bit layout, still read by the 8-bit calls, has no wType and 8-bit text:
            WORD wLength; WORD wValueLength; CHAR szKey[]; (pad to 4) Value; (pad to 4) Children
        wValueLength counts bytes. Such a block is told apart by its root key starting where
        wType would be: a printable character there cannot be a wType of 0 or 1.
    */
    constexpr std::size_t legacyHeaderSize = 4;

    std::size_t align4 (std::size_t value) noexcept
    {
        return (value + 3) & ~std::size_t { 3 };
    }

    /** What VerQueryValueA makes of a path byte: the Windows-1252 character of that code. */
    char16_t decodeWindows1252 (unsigned char byte) noexcept
    {
        static constexpr std::array<char16_t, 32> high {
            0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
            0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008d, 0x017d, 0x008f,
            0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
            0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178
        };

        if (byte >= 0x80 && byte < 0xa0)
            return high[static_cast<std::size_t> (byte - 0x80)];

        return static_cast<char16_t> (byte);
    }

    /** Names compare with ASCII letters folded; every other character must be equal. */
    char16_t foldAscii (char16_t c) noexcept
    {
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t> (c - (u'a' - u'A')) : c;
    }

    /** A block within the buffer: its key and value are read up to end, its children are searched
        up to childrenEnd; both are already clamped to its parent's end.
    */
    struct Block
    {
        std::size_t start = 0;
        std::size_t end = 0;
        std::size_t childrenEnd = 0;
    };

    /** Walks the block tree in a buffer; every read is checked against the enclosing block. */
    class BlockTree
    {
    public:
        explicit BlockTree (const std::vector<std::uint8_t>& d) noexcept
            : data (d),
              legacy (d.size() > legacyHeaderSize && d[legacyHeaderSize] >= 0x20),
              headerSize (legacy ? legacyHeaderSize : blockHeaderSize)
        {
        }

        std::optional<Block> root() const noexcept
        {
            if (data.size() < headerSize)
                return std::nullopt;

            const std::size_t length = word (0);

            if (length < headerSize)
                return std::nullopt;

            const auto end = std::min (length, data.size());
            return Block { 0, end, end };
        }

        /** The first child whose key is name, or nullopt. */
        std::optional<Block> findChild (const Block& parent, std::string_view name) const noexcept
        {
            auto position = childrenStart (parent);

            // Each step moves on by at least 4 bytes and the parent is at most 64 KiB long.
            while (position + headerSize <= parent.childrenEnd)
            {
                const std::size_t length = word (position);

                // A zero length would never move on: the list ends there. Its own key is still
                // compared first (the Windows calls do so), its key and value then reaching to the
                // parent's end; but the calls search children only within the declared length, so
                // it holds none.
                if (length == 0)
                {
                    const Block child { position, parent.end, position };

                    if (keyMatches (child, name))
                        return child;

                    break;
                }

                if (length >= headerSize)
                {
                    const auto end = std::min (position + length, parent.end);
                    const Block child { position, end, end };

                    if (keyMatches (child, name))
                        return child;
                }

                position += align4 (length);
            }

            return std::nullopt;
        }

        /** The value as an 8-bit Windows-1252 string, ending at its first NUL or at the block's end.
            A binary value (wType 0) is not converted: its bytes are handed back as they are, so
            the caller's C string ends at the first zero byte.
        */
        std::string valueText (const Block& block) const
        {
            std::string text;

            if (word (block.start + 2) == 0)
                return text;

            // 16-bit blocks hold 8-bit text already; the 8-bit calls hand it back as it is.
            if (legacy || word (block.start + 4) == 0)
            {
                for (auto position = valueStart (block); position < block.end && data[position] != 0; ++position)
                    text.push_back (static_cast<char> (data[position]));

                return text;
            }

            for (auto position = valueStart (block); position + 2 <= block.end; position += 2)
            {
                const auto unit = static_cast<char16_t> (word (position));

                if (unit == 0)
                    break;

                const auto byte = bestfit::toWindows1252 (unit);

                // The caller reads the converted value as a C string.
                if (byte == 0)
                    break;

                text.push_back (static_cast<char> (byte));
            }

            return text;
        }

    private:
        const std::vector<std::uint8_t>& data;
        const bool legacy;
        const std::size_t headerSize;

        std::size_t word (std::size_t position) const noexcept
        {
            return static_cast<std::size_t> (data[position] | (data[position + 1] << 8));
        }

        /** Keys are UTF-16 in the 32-bit layout and 8-bit in the 16-bit one. */
        std::size_t keyUnitSize() const noexcept    { return legacy ? 1 : 2; }

        std::size_t keyUnit (std::size_t position) const noexcept
        {
            return legacy ? data[position] : word (position);
        }

        /** The position of the key's terminating NUL, or nullopt when the key runs to the block's end. */
        std::optional<std::size_t> keyTerminator (const Block& block) const noexcept
        {
            const auto unitSize = keyUnitSize();

            for (auto position = block.start + headerSize; position + unitSize <= block.end; position += unitSize)
                if (keyUnit (position) == 0)
                    return position;

            return std::nullopt;
        }

        std::size_t valueStart (const Block& block) const noexcept
        {
            const auto terminator = keyTerminator (block);
            return terminator.has_value() ? std::min (align4 (*terminator + keyUnitSize()), block.end) : block.end;
        }

        std::size_t childrenStart (const Block& block) const noexcept
        {
            const auto valueLength = word (block.start + 2);

            // wValueLength counts characters for text values (type 1) and bytes otherwise;
            // 16-bit blocks have no type and always count bytes.
            const auto valueBytes = (! legacy && word (block.start + 4) != 0) ? valueLength * 2 : valueLength;
            return std::min (align4 (valueStart (block) + valueBytes), block.end);
        }

        bool keyMatches (const Block& block, std::string_view name) const noexcept
        {
            const auto unitSize = keyUnitSize();
            auto position = block.start + headerSize;

            for (const auto c : name)
            {
                if (position + unitSize > block.end)
                    return false;

                const auto unit = static_cast<char16_t> (keyUnit (position));
                const auto byte = static_cast<unsigned char> (c);

                // A 16-bit block's 8-bit key compares with the path's bytes as they are.
                if (foldAscii (unit) != foldAscii (legacy ? char16_t { byte } : decodeWindows1252 (byte)))
                    return false;

                position += unitSize;
            }

            // Whole names only: the key must end right here.
            return position + unitSize <= block.end && keyUnit (position) == 0;
        }
    };

    constexpr std::array<const char*, 4> stringTables { "040904e4", "000004e4", "000004b0", "040904b0" };
}

//==============================================================================
VersionInfo::VersionInfo (std::vector<std::uint8_t> block)
    : data (std::move (block))
{
}

std::optional<VersionInfo> VersionInfo::read (ByteSource& source)
{
    PeImage image (source);
    auto block = image.readResource (versionResourceType, versionResourceName);

    if (! block.has_value())
        return std::nullopt;

    return VersionInfo (std::move (*block));
}

std::optional<std::string> VersionInfo::queryValue (std::string_view path) const
{
    const BlockTree tree (data);
    auto current = tree.root();

    if (! current.has_value())
        return std::nullopt;

    // The path ends at a NUL, as the C string it stands for would.
    path = path.substr (0, path.find ('\0'));

    while (! path.empty())
    {
        const auto separator = path.find ('\\');
        const auto component = path.substr (0, separator);
        path = separator == std::string_view::npos ? std::string_view() : path.substr (separator + 1);

        if (component.empty())
            continue;

        current = tree.findChild (*current, component);

        if (! current.has_value())
            return std::nullopt;
    }

    return tree.valueText (*current);
}

std::optional<std::string> VersionInfo::queryString (std::string_view table, std::string_view key) const
{
    std::string path ("\\StringFileInfo\\");
    path.append (table).append ("\\").append (key);
    return queryValue (path);
}

//==============================================================================
VersionStrings readVersionStrings (ByteSource& source)
{
    VersionStrings result;
    const auto info = VersionInfo::read (source);

    if (! info.has_value())
        return result;

    result.status = VersionStatus::incomplete;

    for (const auto* table : stringTables)
    {
        const auto name = info->queryString (table, "ProductName");

        if (! name.has_value())
            continue;

        result.name = *name;
        const auto version = info->queryString (table, "ProductVersion");

        if (! version.has_value())
            continue;

        result.version = *version;
        const auto vendor = info->queryString (table, "CompanyName");

        if (! vendor.has_value())
            continue;

        result.vendor = *vendor;
        result.status = VersionStatus::complete;
        break;
    }

    return result;
}

VersionStrings readVersionStrings (const std::string& path)
{
    FileSource source (path);

    if (! source.isOpen())
        return {};

    return readVersionStrings (source);
}
}
