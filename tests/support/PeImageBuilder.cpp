#include "PeImageBuilder.h"

#include <algorithm>
#include <stdexcept>

namespace petest
{
namespace
{
    std::size_t align (std::size_t value, std::size_t alignment)
    {
        return (value + alignment - 1) / alignment * alignment;
    }

    void append16 (Bytes& out, std::uint16_t value)
    {
        out.push_back (static_cast<std::uint8_t> (value & 0xff));
        out.push_back (static_cast<std::uint8_t> (value >> 8));
    }

    void appendUtf16 (Bytes& out, const std::u16string& text)
    {
        for (const auto c : text)
            append16 (out, static_cast<std::uint16_t> (c));
    }

    void padTo4 (Bytes& out)
    {
        out.resize (align (out.size(), 4), 0);
    }

    Bytes utf16WithNul (const std::u16string& text)
    {
        Bytes out;
        appendUtf16 (out, text);
        append16 (out, 0);
        return out;
    }

    struct NameGroup
    {
        ResourceId name;
        std::vector<std::size_t> entries;   // indices into the builder's entries
    };

    struct TypeGroup
    {
        ResourceId type;
        std::vector<NameGroup> names;
    };

    bool sameId (const ResourceId& a, const ResourceId& b)
    {
        return a.isString() ? (b.isString() && *a.name == *b.name) : (! b.isString() && a.id == b.id);
    }

    /** Named entries first (as the directory's two counts require), integer IDs after them. */
    template <typename Group, typename GetId>
    void orderEntries (std::vector<Group>& groups, bool sortIds, GetId getId)
    {
        std::stable_partition (groups.begin(), groups.end(), [&] (const Group& g) { return getId (g).isString(); });

        if (sortIds)
            std::stable_sort (groups.begin(), groups.end(), [&] (const Group& a, const Group& b)
            {
                // Named entries all compare equal and stay first, in their order.
                const auto key = [&] (const Group& g)
                {
                    const auto& id = getId (g);
                    return id.isString() ? 0 : 0x10000 + int { id.id };
                };

                return key (a) < key (b);
            });
    }
}

//==============================================================================
Bytes VersionNode::serialise() const
{
    Bytes out (6, 0);
    appendUtf16 (out, key);

    if (terminateKey)
        append16 (out, 0);

    if (! value.empty() || ! children.empty())
        padTo4 (out);

    out.insert (out.end(), value.begin(), value.end());

    for (const auto& child : children)
    {
        padTo4 (out);
        const auto bytes = child.serialise();
        out.insert (out.end(), bytes.begin(), bytes.end());
    }

    if (out.size() > 0xffff)
        throw std::length_error ("version block too long");

    put16 (out, 0, lengthOverride.value_or (static_cast<std::uint16_t> (out.size())));
    put16 (out, 2, valueLength);
    put16 (out, 4, type);
    return out;
}

VersionNode stringEntry (const std::u16string& key, const std::u16string& value)
{
    VersionNode node;
    node.key = key;
    node.value = utf16WithNul (value);
    node.valueLength = static_cast<std::uint16_t> (value.size() + 1);
    return node;
}

VersionNode keyWithoutValue (const std::u16string& key)
{
    VersionNode node;
    node.key = key;
    return node;
}

VersionNode stringTable (const std::u16string& name, std::vector<VersionNode> entries)
{
    VersionNode node;
    node.key = name;
    node.children = std::move (entries);
    return node;
}

VersionNode stringFileInfo (std::vector<VersionNode> tables)
{
    VersionNode node;
    node.key = u"StringFileInfo";
    node.children = std::move (tables);
    return node;
}

VersionNode varFileInfo (std::uint16_t language, std::uint16_t codePage)
{
    VersionNode translation;
    translation.key = u"Translation";
    translation.type = 0;
    translation.valueLength = 4;
    append16 (translation.value, language);
    append16 (translation.value, codePage);

    VersionNode node;
    node.key = u"VarFileInfo";
    node.children.push_back (std::move (translation));
    return node;
}

VersionNode versionRoot (std::vector<VersionNode> children)
{
    VersionNode node;
    node.key = u"VS_VERSION_INFO";
    node.type = 0;
    node.valueLength = 52;
    node.value.assign (52, 0);
    put32 (node.value, 0, 0xfeef04bd);
    put32 (node.value, 4, 0x00010000);
    node.children = std::move (children);
    return node;
}

Bytes simpleVersionBlock (const std::u16string& table, const std::u16string& name,
                          const std::u16string& version, const std::u16string& vendor)
{
    return versionRoot ({ stringFileInfo ({ stringTable (table, { stringEntry (u"ProductName", name),
                                                                  stringEntry (u"ProductVersion", version),
                                                                  stringEntry (u"CompanyName", vendor) }) }),
                          varFileInfo (0x0409, 0x04e4) }).serialise();
}

//==============================================================================
PeImageBuilder::PeImageBuilder (bool plus)
    : pe32Plus (plus)
{
}

PeImageBuilder& PeImageBuilder::add (ResourceId type, ResourceId name, std::uint16_t language, Bytes data)
{
    entries.push_back ({ std::move (type), std::move (name), language, std::move (data) });
    return *this;
}

PeImageBuilder& PeImageBuilder::addVersion (Bytes block, std::uint16_t language)
{
    return add (16, 1, language, std::move (block));
}

Bytes PeImageBuilder::build (ImageLayout* layoutOut) const
{
    // Group the resources into the three directory levels.
    std::vector<TypeGroup> types;

    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        const auto& e = entries[i];
        auto type = std::find_if (types.begin(), types.end(), [&] (const TypeGroup& t) { return sameId (t.type, e.type); });

        if (type == types.end())
            type = types.insert (types.end(), TypeGroup { e.type, {} });

        auto name = std::find_if (type->names.begin(), type->names.end(), [&] (const NameGroup& n) { return sameId (n.name, e.name); });

        if (name == type->names.end())
            name = type->names.insert (type->names.end(), NameGroup { e.name, {} });

        name->entries.push_back (i);
    }

    orderEntries (types, sortIds, [] (const TypeGroup& t) -> const ResourceId& { return t.type; });

    for (auto& type : types)
    {
        orderEntries (type.names, sortIds, [] (const NameGroup& n) -> const ResourceId& { return n.name; });

        if (sortIds)
            for (auto& name : type.names)
                std::stable_sort (name.entries.begin(), name.entries.end(), [this] (std::size_t a, std::size_t b)
                {
                    return entries[a].language < entries[b].language;
                });
    }

    // Lay the section out: directories, data entries, name strings, then the data.
    ImageLayout layout;
    layout.dataEntries.resize (entries.size());
    layout.data.resize (entries.size());

    std::vector<std::size_t> typeDirs, nameDirs;
    std::size_t position = 16 + 8 * types.size();

    for (const auto& type : types)
    {
        typeDirs.push_back (position);
        position += 16 + 8 * type.names.size();
    }

    for (const auto& type : types)
        for (const auto& name : type.names)
        {
            nameDirs.push_back (position);
            position += 16 + 8 * name.entries.size();
        }

    std::vector<std::size_t> dataEntryOffsets (entries.size());

    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        dataEntryOffsets[i] = position;
        position += 16;
    }

    Bytes rsrc (position, 0);

    auto addString = [&rsrc] (const std::u16string& text)
    {
        const auto offset = rsrc.size();
        append16 (rsrc, static_cast<std::uint16_t> (text.size()));
        appendUtf16 (rsrc, text);
        return static_cast<std::uint32_t> (offset);
    };

    auto idField = [&addString] (const ResourceId& id)
    {
        return id.isString() ? (0x80000000u | addString (*id.name)) : std::uint32_t { id.id };
    };

    auto writeDirectory = [&rsrc] (std::size_t offset, std::size_t named, std::size_t ids)
    {
        put16 (rsrc, offset + 12, static_cast<std::uint16_t> (named));
        put16 (rsrc, offset + 14, static_cast<std::uint16_t> (ids));
    };

    auto countNamed = [] (const auto& groups, auto getId)
    {
        return static_cast<std::size_t> (std::count_if (groups.begin(), groups.end(), [&] (const auto& g) { return getId (g).isString(); }));
    };

    writeDirectory (0, countNamed (types, [] (const TypeGroup& t) -> const ResourceId& { return t.type; }),
                    types.size() - countNamed (types, [] (const TypeGroup& t) -> const ResourceId& { return t.type; }));

    std::size_t nameDirIndex = 0;

    for (std::size_t t = 0; t < types.size(); ++t)
    {
        const auto& type = types[t];
        put32 (rsrc, 16 + 8 * t, idField (type.type));
        put32 (rsrc, 16 + 8 * t + 4, 0x80000000u | static_cast<std::uint32_t> (typeDirs[t]));

        const auto named = countNamed (type.names, [] (const NameGroup& n) -> const ResourceId& { return n.name; });
        writeDirectory (typeDirs[t], named, type.names.size() - named);

        for (std::size_t n = 0; n < type.names.size(); ++n, ++nameDirIndex)
        {
            const auto& name = type.names[n];
            const auto entryOffset = typeDirs[t] + 16 + 8 * n;
            put32 (rsrc, entryOffset, idField (name.name));
            put32 (rsrc, entryOffset + 4, 0x80000000u | static_cast<std::uint32_t> (nameDirs[nameDirIndex]));

            writeDirectory (nameDirs[nameDirIndex], 0, name.entries.size());

            for (std::size_t l = 0; l < name.entries.size(); ++l)
            {
                const auto index = name.entries[l];
                const auto languageEntry = nameDirs[nameDirIndex] + 16 + 8 * l;
                put32 (rsrc, languageEntry, entries[index].language);
                put32 (rsrc, languageEntry + 4, static_cast<std::uint32_t> (dataEntryOffsets[index]));
            }
        }
    }

    padTo4 (rsrc);

    // The data itself, in this section or in a section of its own.
    Bytes dataSection;
    auto& dataTarget = separateDataRva.has_value() ? dataSection : rsrc;
    const auto dataBaseRva = separateDataRva.value_or (resourceRva);
    std::vector<std::size_t> dataOffsets (entries.size());

    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        dataOffsets[i] = dataTarget.size();
        dataTarget.insert (dataTarget.end(), entries[i].data.begin(), entries[i].data.end());
        padTo4 (dataTarget);

        put32 (rsrc, dataEntryOffsets[i], static_cast<std::uint32_t> (dataBaseRva + dataOffsets[i]));
        put32 (rsrc, dataEntryOffsets[i] + 4, static_cast<std::uint32_t> (entries[i].data.size()));
        put32 (rsrc, dataEntryOffsets[i] + 8, 1252);
    }

    // Headers.
    constexpr std::size_t peOffset = 0x80;
    const std::size_t optionalSize = pe32Plus ? 240 : 224;
    const std::size_t sectionCount = separateDataRva.has_value() ? 3 : 2;
    const std::size_t textFileOffset = 0x400;
    const std::size_t rsrcFileOffset = resourceFileOffset;
    const std::size_t dataFileOffset = align (rsrcFileOffset + rsrc.size(), 0x200);

    if (rsrcFileOffset < textFileOffset + 0x200)
        throw std::invalid_argument ("resource section overlaps .text");

    Bytes image (align ((separateDataRva.has_value() ? dataFileOffset + dataSection.size() : rsrcFileOffset + rsrc.size()), 0x200), 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32 (image, 0x3c, peOffset);

    image[peOffset] = 'P';
    image[peOffset + 1] = 'E';
    const auto fileHeader = peOffset + 4;
    put16 (image, fileHeader, pe32Plus ? 0x8664 : 0x014c);
    put16 (image, fileHeader + 2, static_cast<std::uint16_t> (sectionCount));
    put16 (image, fileHeader + 16, static_cast<std::uint16_t> (optionalSize));
    put16 (image, fileHeader + 18, pe32Plus ? 0x2022 : 0x2102);

    const auto optional = fileHeader + 20;
    const std::size_t countOffset = pe32Plus ? 108 : 92;
    put16 (image, optional, pe32Plus ? 0x20b : 0x10b);
    put32 (image, optional + 32, 0x1000);  // SectionAlignment
    put32 (image, optional + 36, 0x200);   // FileAlignment
    // SizeOfImage (optional + 56) is written once the sections are known.
    put32 (image, optional + 60, 0x400);   // SizeOfHeaders
    put16 (image, optional + 68, 2);       // Subsystem
    put32 (image, optional + countOffset, 16);

    const auto resourceDirectoryEntry = optional + countOffset + 4 + 2 * 8;
    put32 (image, resourceDirectoryEntry, resourceRva);
    put32 (image, resourceDirectoryEntry + 4, static_cast<std::uint32_t> (rsrc.size()));

    const auto sectionTable = optional + optionalSize;

    std::uint64_t imageEnd = 0x1000;

    auto writeSection = [&image, &imageEnd] (std::size_t offset, const char* name, std::uint32_t virtualSize, std::uint32_t rva,
                                             std::uint32_t rawSize, std::uint32_t rawOffset)
    {
        imageEnd = std::max<std::uint64_t> (imageEnd, std::uint64_t { rva } + std::max (virtualSize, rawSize));

        for (std::size_t i = 0; name[i] != 0 && i < 8; ++i)
            image[offset + i] = static_cast<std::uint8_t> (name[i]);

        put32 (image, offset + 8, virtualSize);
        put32 (image, offset + 12, rva);
        put32 (image, offset + 16, rawSize);
        put32 (image, offset + 20, rawOffset);
        put32 (image, offset + 36, 0x40000040);
    };

    const auto textHeader = sectionTable + (resourceSectionFirst ? 40 : 0);
    const auto rsrcHeader = sectionTable + (resourceSectionFirst ? 0 : 40);
    writeSection (textHeader, ".text", 0x10, 0x1000, 0x200, static_cast<std::uint32_t> (textFileOffset));
    writeSection (rsrcHeader, ".rsrc",
                  resourceVirtualSize.value_or (static_cast<std::uint32_t> (rsrc.size())), resourceRva,
                  resourceRawSize.value_or (static_cast<std::uint32_t> (align (rsrc.size(), 0x200))),
                  static_cast<std::uint32_t> (rsrcFileOffset));

    if (separateDataRva.has_value())
        writeSection (sectionTable + 80, ".vdata", static_cast<std::uint32_t> (dataSection.size()), *separateDataRva,
                      static_cast<std::uint32_t> (align (dataSection.size(), 0x200)), static_cast<std::uint32_t> (dataFileOffset));

    put32 (image, optional + 56, static_cast<std::uint32_t> (std::min<std::uint64_t> (align (static_cast<std::size_t> (imageEnd), 0x1000), 0xffffffffu)));

    // A recognisable .text so that a wrong RVA mapping reads garbage, not zeros.
    for (std::size_t i = 0; i < 0x200; ++i)
        image[textFileOffset + i] = 0xcc;

    std::copy (rsrc.begin(), rsrc.end(), image.begin() + static_cast<std::ptrdiff_t> (rsrcFileOffset));

    if (separateDataRva.has_value())
        std::copy (dataSection.begin(), dataSection.end(), image.begin() + static_cast<std::ptrdiff_t> (dataFileOffset));

    if (layoutOut != nullptr)
    {
        layout.peHeader = peOffset;
        layout.optionalHeader = optional;
        layout.numberOfRvaAndSizes = optional + countOffset;
        layout.resourceDirectoryEntry = resourceDirectoryEntry;
        layout.sectionTable = sectionTable;
        layout.resourceSectionHeader = rsrcHeader;
        layout.resourceSection = rsrcFileOffset;

        for (const auto d : typeDirs)
            layout.typeDirectories.push_back (rsrcFileOffset + d);

        for (const auto d : nameDirs)
            layout.nameDirectories.push_back (rsrcFileOffset + d);

        const auto dataBaseFile = separateDataRva.has_value() ? dataFileOffset : rsrcFileOffset;

        for (std::size_t i = 0; i < entries.size(); ++i)
        {
            layout.dataEntries[i] = rsrcFileOffset + dataEntryOffsets[i];
            layout.data[i] = dataBaseFile + dataOffsets[i];
        }

        *layoutOut = std::move (layout);
    }

    return image;
}

//==============================================================================
void put16 (Bytes& out, std::size_t offset, std::uint16_t value)
{
    out.at (offset) = static_cast<std::uint8_t> (value & 0xff);
    out.at (offset + 1) = static_cast<std::uint8_t> (value >> 8);
}

void put32 (Bytes& out, std::size_t offset, std::uint32_t value)
{
    put16 (out, offset, static_cast<std::uint16_t> (value & 0xffff));
    put16 (out, offset + 2, static_cast<std::uint16_t> (value >> 16));
}
}
