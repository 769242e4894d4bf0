#pragma once

#include <juce_core/juce_core.h>

/** XML parsing for documents we did not write ourselves in this run: settings
    files, inventory and update-list files, and service replies.

    Documents are read by expat, a streaming parser, and the element tree is
    built with an explicit stack, so no input can exhaust the call stack. The
    parser enforces the limits below itself while it reads: a document that
    declares a document type (and with it any entity), nests deeper, has more
    elements or attributes, or holds a single name, value or comment longer
    than allowed is refused as a whole, as is anything that is not
    well-formed. Refused documents give nullptr.

    References to control characters, U+FFFE and U+FFFF, which JUCE's own
    writer writes and XML 1.0 does not allow, are read as the characters they
    name (see xmlrefs), so that every file the program writes reads back
    exactly. U+0000 and raw control bytes are still refused.

    The tree is the one JUCE's own parser gives for the same document: text
    that is only white space is dropped, other text and each CDATA section
    become text elements, comments and processing instructions vanish.
    Like JUCE's parser, white space before the document and anything after
    the root element's end are ignored.

    Safe to call from any thread.
*/
namespace SafeXml
{
    inline constexpr int maxDepth = 64;

    struct Limits
    {
        juce::int64 maxBytes = 128 * 1024 * 1024;
        int maxDepth = SafeXml::maxDepth;
        int maxElements = 1'000'000;           ///< elements and text elements together
        int maxAttributesPerElement = 256;
        size_t maxTokenBytes = 256 * 1024;     ///< longest name, attribute value, comment or instruction
    };

    /** Parses a document held in memory as bytes. Its encoding is the one it
        declares (UTF-8 when it declares none); a byte-order mark is honoured. */
    std::unique_ptr<juce::XmlElement> parse (const void* data, size_t numBytes, const Limits& limits = {});

    /** Parses a document held as text (any encoding it declares is ignored). */
    std::unique_ptr<juce::XmlElement> parse (const juce::String& text, const Limits& limits = {});

    /** Parses a regular file of at most maxBytes bytes (larger files give
        nullptr, and so does a FIFO, socket or device, without waiting). */
    std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file, juce::int64 maxBytes);
}
