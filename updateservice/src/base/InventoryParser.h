#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/**
    Reads an uploaded inventory: root "MachineProfile" with the machine's
    attributes and one "Plugin" child per plug-in.

    The upload is untrusted, so the parser refuses any document type
    declaration (and with it every entity definition), and bounds the
    document size, the nesting depth, the number of elements, the number of
    attributes of an element, the length of an attribute value and the
    length of any single token (a tag with its attributes, a comment, a
    processing instruction): expat holds a token until its end has come
    and reads it again with every piece fed to it, so a token is refused
    as soon as that many bytes have gone by without progress. Numeric
    character references (&#233;) and the five predefined entities decode
    as usual, and so do the references to control characters, U+FFFE and
    U+FFFF that the application's XML writer writes (xmlrefs). Elements
    other than "Plugin" directly under the root are skipped.

    Pure; one call per upload, from any thread.
*/
class InventoryParser
{
public:
    struct Limits
    {
        std::size_t maxBytes = 128u * 1024u * 1024u;
        std::size_t maxDepth = 16;
        std::size_t maxElements = 100001;          ///< the root and 100,000 plug-ins
        std::size_t maxAttributesPerElement = 64;
        std::size_t maxAttributeValueBytes = 32u * 1024u;
        std::size_t maxTokenBytes = 256u * 1024u;  ///< one tag, comment or other markup, whole
    };

    struct Plugin
    {
        std::string name, version, vendor, path, format, error;
    };

    /** The machine attributes in the order the application writes them. */
    static const std::vector<std::string>& machineAttributeNames();

    struct Inventory
    {
        std::vector<std::string> machine;   ///< one value per machineAttributeNames() entry
        std::vector<Plugin> plugins;

        const std::string& machineName() const { return machine.front(); }
    };

    struct Result
    {
        bool ok = false;
        Inventory inventory;
        std::string error;   ///< a short English description, when !ok
    };

    static Result parse (std::string_view document, const Limits& limits);
    static Result parse (std::string_view document) { return parse (document, Limits {}); }
};
