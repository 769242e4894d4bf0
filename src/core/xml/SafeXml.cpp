#include "core/xml/SafeXml.h"

#include "pe/PeFileSource.h"
#include "xmlrefs/ReferenceFilter.h"

#include <expat.h>

#include <string>
#include <vector>

namespace SafeXml
{
namespace
{
    /** Bytes handed to expat at a time. A token that is still incomplete at
        the end of a piece is scanned again with the next one, so pieces are
        kept well below the token limit. */
    constexpr size_t pieceBytes = 64 * 1024;

    /** Builds the element tree from expat's callbacks without recursion and
        stops the parse at the first limit the document breaks. */
    class TreeBuilder
    {
    public:
        TreeBuilder (const Limits& limitsToUse, const char* forcedEncoding)
            : limits (limitsToUse),
              parser (XML_ParserCreate (forcedEncoding)),
              references (forcedEncoding != nullptr ? xmlrefs::ReferenceFilter::Encoding::utf8
                                                    : xmlrefs::ReferenceFilter::Encoding::asDeclared)
        {
            if (parser == nullptr)
                return;

            XML_SetUserData (parser, this);
            XML_SetElementHandler (parser, onStartElement, onEndElement);
            XML_SetCharacterDataHandler (parser, onCharacters);
            XML_SetCdataSectionHandler (parser, onStartCdata, onEndCdata);
            XML_SetCommentHandler (parser, onComment);
            XML_SetProcessingInstructionHandler (parser, onInstruction);
            XML_SetXmlDeclHandler (parser, onDeclaration);
            XML_SetStartDoctypeDeclHandler (parser, onDoctype);
            XML_SetEntityDeclHandler (parser, onEntityDeclaration);
            XML_SetDefaultHandlerExpand (parser, onOther);
            XML_SetParamEntityParsing (parser, XML_PARAM_ENTITY_PARSING_NEVER);
        }

        ~TreeBuilder()
        {
            if (parser != nullptr)
                XML_ParserFree (parser);
        }

        TreeBuilder (const TreeBuilder&) = delete;
        TreeBuilder& operator= (const TreeBuilder&) = delete;

        std::unique_ptr<juce::XmlElement> run (const char* data, size_t numBytes)
        {
            if (parser == nullptr || numBytes == 0 || (juce::int64) numBytes > limits.maxBytes)
                return nullptr;

            size_t offset = 0, fed = 0;
            std::string piece;

            for (;;)
            {
                const auto length = juce::jmin (pieceBytes, numBytes - offset);
                const auto isFinal = offset + length == numBytes;

                // The parser reads the document as the reference filter rewrites it.
                piece.clear();
                references.feed ({ data + offset, length }, piece);

                if (isFinal)
                    references.finish (piece);

                const auto status = XML_Parse (parser, piece.data(), (int) piece.size(), isFinal ? XML_TRUE : XML_FALSE);
                offset += length;
                fed += piece.size();

                if (refused)
                    return nullptr;

                if (root != nullptr)
                    return std::move (root);   // whatever follows the root element is ignored

                if (status != XML_STATUS_OK)
                    return nullptr;

                // Everything fed but not yet reported belongs to one unfinished token.
                if (fed - (size_t) juce::jmax ((XML_Index) 0, reportedUpTo) > limits.maxTokenBytes)
                    return nullptr;

                if (isFinal)
                    return nullptr;            // the root element never closed
            }
        }

    private:
        /** The few tag and attribute names of a document recur on every
            element; looking them up here spares JUCE's global name pool,
            which is locked and searched for each new name. */
        class NameCache
        {
        public:
            const juce::Identifier& get (const XML_Char* name)
            {
                for (const auto& entry : entries)
                    if (entry.first == name)
                        return entry.second;

                if (entries.size() < maxEntries)
                    return entries.emplace_back (name, juce::Identifier (juce::String::fromUTF8 (name))).second;

                return spare = juce::Identifier (juce::String::fromUTF8 (name));
            }

        private:
            static constexpr size_t maxEntries = 32;
            std::vector<std::pair<std::string, juce::Identifier>> entries;
            juce::Identifier spare;
        };

        struct OpenElement
        {
            std::unique_ptr<juce::XmlElement> element;
            std::vector<std::unique_ptr<juce::XmlElement>> children;
        };

        /** Expat may still call a handler or two after the parse was
            stopped; those calls are ignored. */
        static TreeBuilder* from (void* userData)
        {
            auto* builder = static_cast<TreeBuilder*> (userData);
            return builder->refused || builder->root != nullptr ? nullptr : builder;
        }

        void refuse()
        {
            if (! refused)
            {
                refused = true;
                XML_StopParser (parser, XML_FALSE);
            }
        }

        /** Every event moves the mark of what expat has finished with. */
        void noteProgress()
        {
            reportedUpTo = XML_GetCurrentByteIndex (parser) + XML_GetCurrentByteCount (parser);
        }

        bool countElement()
        {
            if (++elementCount > limits.maxElements)
            {
                refuse();
                return false;
            }

            return true;
        }

        /** A value as the document meant it, with the characters the reference filter stood in for. */
        static juce::String valueOf (std::string_view value)
        {
            if (! xmlrefs::mayHoldStandIns (value))
                return juce::String::fromUTF8 (value.data(), (int) value.size());

            std::string restored (value);
            xmlrefs::restore (restored);
            return juce::String::fromUTF8 (restored.data(), (int) restored.size());
        }

        static std::unique_ptr<juce::XmlElement> makeTextElement (std::string_view value)
        {
            return std::unique_ptr<juce::XmlElement> (juce::XmlElement::createTextElement (valueOf (value)));
        }

        void addChild (std::unique_ptr<juce::XmlElement> child)
        {
            stack.back().children.push_back (std::move (child));
        }

        void flushText()
        {
            if (! textHasContent)
            {
                text.clear();
                return;
            }

            if (countElement())
                addChild (makeTextElement (text));

            text.clear();
            textHasContent = false;
        }

        void startElement (const XML_Char* name, const XML_Char** attributes)
        {
            noteProgress();

            if ((int) stack.size() >= limits.maxDepth || ! countElement())
                return refuse();

            if (! stack.empty())
                flushText();

            auto element = std::make_unique<juce::XmlElement> (juce::Identifier (names.get (name)));
            int count = 0;

            for (auto* attribute = attributes; attribute[0] != nullptr; attribute += 2)
            {
                if (++count > limits.maxAttributesPerElement)
                    return refuse();

                element->setAttribute (names.get (attribute[0]), valueOf (attribute[1]));
            }

            stack.push_back ({ std::move (element), {} });
        }

        void endElement()
        {
            noteProgress();
            flushText();

            auto closing = std::move (stack.back());
            stack.pop_back();

            // Prepending in reverse keeps the order and avoids walking the
            // child list once per child.
            for (auto child = closing.children.rbegin(); child != closing.children.rend(); ++child)
                closing.element->prependChildElement (child->release());

            if (stack.empty())
            {
                root = std::move (closing.element);
                XML_StopParser (parser, XML_FALSE);
            }
            else
            {
                addChild (std::move (closing.element));
            }
        }

        void characters (const XML_Char* characters, int length)
        {
            noteProgress();

            if (stack.empty() || length <= 0)
                return;

            if (inCdata)
            {
                cdata.append (characters, (size_t) length);
                return;
            }

            text.append (characters, (size_t) length);

            if (! textHasContent)
                for (int i = 0; i < length && ! textHasContent; ++i)
                    textHasContent = ! juce::CharacterFunctions::isWhitespace ((char) characters[i]);
        }

        void startCdata()
        {
            noteProgress();
            flushText();
            inCdata = true;
        }

        void endCdata()
        {
            noteProgress();
            inCdata = false;

            // A CDATA section is kept even when it holds only white space.
            if (countElement())
                addChild (makeTextElement (cdata));

            cdata.clear();
        }

        static void XMLCALL onStartElement (void* user, const XML_Char* name, const XML_Char** attributes)
        {
            if (auto* builder = from (user))
                builder->startElement (name, attributes);
        }

        static void XMLCALL onEndElement (void* user, const XML_Char*)
        {
            if (auto* builder = from (user))
                builder->endElement();
        }

        static void XMLCALL onCharacters (void* user, const XML_Char* characters, int length)
        {
            if (auto* builder = from (user))
                builder->characters (characters, length);
        }

        static void XMLCALL onStartCdata (void* user)
        {
            if (auto* builder = from (user))
                builder->startCdata();
        }

        static void XMLCALL onEndCdata (void* user)
        {
            if (auto* builder = from (user))
                builder->endCdata();
        }

        // Comments, processing instructions, the declaration and white
        // space outside the root only move the progress mark.
        static void noteProgress (void* user)
        {
            if (auto* builder = from (user))
                builder->noteProgress();
        }

        static void XMLCALL onComment (void* user, const XML_Char*)                               { noteProgress (user); }
        static void XMLCALL onInstruction (void* user, const XML_Char*, const XML_Char*)          { noteProgress (user); }
        static void XMLCALL onDeclaration (void* user, const XML_Char*, const XML_Char*, int)     { noteProgress (user); }
        static void XMLCALL onOther (void* user, const XML_Char*, int)                            { noteProgress (user); }

        // A document type may declare entities, whose expansion is the
        // classic way to make a small document huge: none is accepted.
        static void XMLCALL onDoctype (void* user, const XML_Char*, const XML_Char*, const XML_Char*, int)
        {
            if (auto* builder = from (user))
                builder->refuse();
        }

        static void XMLCALL onEntityDeclaration (void* user, const XML_Char*, int, const XML_Char*, int,
                                                 const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*)
        {
            if (auto* builder = from (user))
                builder->refuse();
        }

        const Limits limits;
        XML_Parser parser;
        xmlrefs::ReferenceFilter references;
        std::vector<OpenElement> stack;
        NameCache names;
        std::unique_ptr<juce::XmlElement> root;
        std::string text, cdata;
        bool textHasContent = false, inCdata = false, refused = false;
        int elementCount = 0;
        XML_Index reportedUpTo = 0;
    };

    void skipLeadingSpace (const char*& bytes, size_t& numBytes)
    {
        while (numBytes > 0 && (*bytes == ' ' || *bytes == '\t' || *bytes == '\r' || *bytes == '\n'))
        {
            ++bytes;
            --numBytes;
        }
    }

    bool startsWith (const char* data, size_t numBytes, std::initializer_list<unsigned char> prefix)
    {
        if (numBytes < prefix.size())
            return false;

        size_t i = 0;

        for (const auto byte : prefix)
            if ((unsigned char) data[i++] != byte)
                return false;

        return true;
    }
}

std::unique_ptr<juce::XmlElement> parse (const void* data, size_t numBytes, const Limits& limits)
{
    if (data == nullptr)
        return nullptr;

    auto* bytes = static_cast<const char*> (data);
    const char* encoding = nullptr;   // as the document declares it

    if (startsWith (bytes, numBytes, { 0xef, 0xbb, 0xbf }))
    {
        bytes += 3;
        numBytes -= 3;
        encoding = "UTF-8";
    }

    const auto isUtf16 = startsWith (bytes, numBytes, { 0xfe, 0xff }) || startsWith (bytes, numBytes, { 0xff, 0xfe });

    // Replies often start with a line break before the declaration, which
    // expat would refuse.
    if (! isUtf16)
        skipLeadingSpace (bytes, numBytes);

    return TreeBuilder (limits, encoding).run (bytes, numBytes);
}

std::unique_ptr<juce::XmlElement> parse (const juce::String& text, const Limits& limits)
{
    const auto* bytes = text.toRawUTF8();
    auto numBytes = text.getNumBytesAsUTF8();
    skipLeadingSpace (bytes, numBytes);

    // The text is already decoded, so whatever encoding it names no longer applies.
    return TreeBuilder (limits, "UTF-8").run (bytes, numBytes);
}

std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file, juce::int64 maxBytes)
{
    // Opened without waiting and read only when it is a regular file: a FIFO
    // or a device under a settings file's name would otherwise block the
    // reader for good. Nothing past the size it had when opened is read.
    pe::FileSource source (file.getFullPathName().toStdString());

    if (! source.isOpen() || source.size() == 0 || source.size() > (std::uint64_t) juce::jmax ((juce::int64) 0, maxBytes))
        return nullptr;

    std::vector<char> data ((size_t) source.size());

    if (source.readAt (0, data.data(), data.size()) != data.size())
        return nullptr;

    Limits limits;
    limits.maxBytes = maxBytes;
    return parse (data.data(), data.size(), limits);
}
}
