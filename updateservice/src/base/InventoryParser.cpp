#include "base/InventoryParser.h"

#include "xmlrefs/ReferenceFilter.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace
{
    struct ParserDeleter
    {
        void operator() (XML_Parser parser) const noexcept { XML_ParserFree (parser); }
    };

    struct State
    {
        const InventoryParser::Limits* limits = nullptr;
        XML_Parser parser = nullptr;
        InventoryParser::Inventory inventory;
        std::string failure;
        std::size_t depth = 0;
        std::size_t elements = 0;
        bool sawRoot = false;
        XML_Index progress = 0;   ///< the end of the last token expat reported

        void madeProgress()
        {
            progress = XML_GetCurrentByteIndex (parser) + XML_GetCurrentByteCount (parser);
        }

        void stop (std::string why)
        {
            if (failure.empty())
                failure = std::move (why) + " (line " + std::to_string (XML_GetCurrentLineNumber (parser)) + ")";

            XML_StopParser (parser, XML_FALSE);
        }
    };

    void XMLCALL onStartElement (void* userData, const XML_Char* name, const XML_Char** attributes)
    {
        auto& state = *static_cast<State*> (userData);
        state.madeProgress();

        if (! state.failure.empty())
            return;

        ++state.depth;
        ++state.elements;

        if (state.depth > state.limits->maxDepth)
            return state.stop ("the document is nested too deeply");

        if (state.elements > state.limits->maxElements)
            return state.stop ("the document has too many elements");

        std::size_t attributeCount = 0;

        for (auto a = attributes; *a != nullptr; a += 2)
        {
            if (++attributeCount > state.limits->maxAttributesPerElement)
                return state.stop ("an element has too many attributes");

            // A control character reaches here as a 4-byte stand-in, so the
            // limit is applied to the value as the application wrote it.
            if (const auto length = std::strlen (a[1]); length > state.limits->maxAttributeValueBytes)
            {
                std::string value (a[1], length);
                xmlrefs::restore (value);

                if (value.size() > state.limits->maxAttributeValueBytes)
                    return state.stop ("an attribute value is too long");
            }
        }

        const auto attribute = [attributes] (const char* wanted) -> std::string
        {
            for (auto a = attributes; *a != nullptr; a += 2)
            {
                if (std::strcmp (a[0], wanted) == 0)
                {
                    std::string value (a[1]);
                    xmlrefs::restore (value);
                    return value;
                }
            }

            return {};
        };

        if (state.depth == 1)
        {
            if (std::strcmp (name, "MachineProfile") != 0)
                return state.stop ("the root element is not MachineProfile");

            state.sawRoot = true;

            for (const auto& attributeName : InventoryParser::machineAttributeNames())
                state.inventory.machine.push_back (attribute (attributeName.c_str()));

            return;
        }

        if (state.depth == 2 && std::strcmp (name, "Plugin") == 0)
        {
            state.inventory.plugins.push_back ({ attribute ("Name"), attribute ("Version"),
                                                 attribute ("Vendor"), attribute ("Path"),
                                                 attribute ("Format"), attribute ("Error") });
        }
    }

    void XMLCALL onEndElement (void* userData, const XML_Char*)
    {
        auto& state = *static_cast<State*> (userData);
        state.madeProgress();

        if (state.depth > 0)
            --state.depth;
    }

    // Everything else expat reads (text, comments, white space between
    // tags) comes here; only the progress matters.
    void XMLCALL onOther (void* userData, const XML_Char*, int)
    {
        static_cast<State*> (userData)->madeProgress();
    }

    void XMLCALL onDoctype (void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<State*> (userData)->stop ("document type declarations are not accepted");
    }

    void XMLCALL onEntityDeclaration (void* userData, const XML_Char*, int, const XML_Char*, int,
                                      const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*)
    {
        static_cast<State*> (userData)->stop ("entity declarations are not accepted");
    }
}

const std::vector<std::string>& InventoryParser::machineAttributeNames()
{
    static const std::vector<std::string> names {
        "MachineName", "Platform", "PlatformString", "CPUVendor", "CPUSpeed", "Supports64Bit", "RAM",
        "HasSSE1", "HasSSE2", "HasMMX", "Has3DNow", "DisplayLanguage", "UserLanguage", "Region", "Time"
    };

    return names;
}

InventoryParser::Result InventoryParser::parse (std::string_view document, const Limits& limits)
{
    Result result;

    if (document.size() > limits.maxBytes)
    {
        result.error = "the inventory is larger than " + std::to_string (limits.maxBytes) + " bytes";
        return result;
    }

    const std::unique_ptr<XML_ParserStruct, ParserDeleter> parser (XML_ParserCreate (nullptr));

    if (parser == nullptr)
    {
        result.error = "the XML reader could not be started";
        return result;
    }

    State state;
    state.limits = &limits;
    state.parser = parser.get();

    XML_SetUserData (parser.get(), &state);
    XML_SetElementHandler (parser.get(), onStartElement, onEndElement);
    XML_SetDefaultHandlerExpand (parser.get(), onOther);
    XML_SetStartDoctypeDeclHandler (parser.get(), onDoctype);
    XML_SetEntityDeclHandler (parser.get(), onEntityDeclaration);
    XML_SetParamEntityParsing (parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

    // Small pieces, so that an overlong token is noticed early and read
    // again only a few times. Expat reads the document as the reference
    // filter rewrites it, so that the control characters the application's
    // XML writer writes as references arrive.
    const auto chunkSize = std::max<std::size_t> (1024, std::min<std::size_t> (64u * 1024u, limits.maxTokenBytes / 4));
    std::size_t offset = 0, fed = 0;
    xmlrefs::ReferenceFilter references;
    std::string piece;

    do
    {
        const auto length = std::min (chunkSize, document.size() - offset);
        const bool isFinal = offset + length == document.size();

        piece.clear();
        references.feed (document.substr (offset, length), piece);

        if (isFinal)
            references.finish (piece);

        if (XML_Parse (parser.get(), piece.data(), static_cast<int> (piece.size()),
                       isFinal ? XML_TRUE : XML_FALSE) != XML_STATUS_OK)
        {
            if (state.failure.empty())
                state.failure = std::string ("the inventory is not well-formed XML: ")
                              + XML_ErrorString (XML_GetErrorCode (parser.get()))
                              + " (line " + std::to_string (XML_GetCurrentLineNumber (parser.get())) + ")";
            break;
        }

        offset += length;
        fed += piece.size();

        if (static_cast<XML_Index> (fed) - state.progress > static_cast<XML_Index> (limits.maxTokenBytes))
        {
            state.failure = "a single tag, comment or other markup is longer than "
                          + std::to_string (limits.maxTokenBytes / 1024) + " KiB";
            break;
        }
    }
    while (offset < document.size());

    if (state.failure.empty() && ! state.sawRoot)
        state.failure = "the inventory is empty";

    if (! state.failure.empty())
    {
        result.error = std::move (state.failure);
        return result;
    }

    result.ok = true;
    result.inventory = std::move (state.inventory);
    return result;
}
