/*  libFuzzer target for the XML reader: any byte string, read as a document,
    must give a tree or nothing, without a crash, a hang, a read outside its
    buffer or a tree beyond the reader's limits.
    Built by scripts/fuzz.sh with -fsanitize=fuzzer,address,undefined.
*/

#include "core/xml/SafeXml.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace
{
    const char* const asciiNameCharacters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.:";

    void check (bool condition)
    {
        if (! condition)
            std::abort();
    }

    /** Walks the tree without recursion and checks the limits held. */
    void checkTree (const juce::XmlElement& root, const SafeXml::Limits& limits)
    {
        std::vector<std::pair<const juce::XmlElement*, int>> pending { { &root, 1 } };
        int elements = 0;

        while (! pending.empty())
        {
            const auto [element, depth] = pending.back();
            pending.pop_back();

            // Text sits one level below the deepest element it may be in.
            check (depth <= limits.maxDepth + (element->isTextElement() ? 1 : 0));
            check (++elements <= limits.maxElements);
            check (element->getNumAttributes() <= limits.maxAttributesPerElement);
            check (element->isTextElement() || element->getTagName().isNotEmpty());

            for (auto* child : element->getChildIterator())
                pending.emplace_back (child, depth + 1);
        }
    }

    /** Whether every tag and attribute name is ASCII, as the program's names
        are. (Expat takes a few non-ASCII name characters from an ISO-8859-1
        document that it refuses in UTF-8, which is expat's affair.) */
    bool hasAsciiNames (const juce::XmlElement& tree)
    {
        std::vector<const juce::XmlElement*> pending { &tree };

        while (! pending.empty())
        {
            const auto* element = pending.back();
            pending.pop_back();

            if (! element->isTextElement() && ! element->getTagName().containsOnly (asciiNameCharacters))
                return false;

            for (int i = 0; i < element->getNumAttributes(); ++i)
                if (! element->getAttributeName (i).containsOnly (asciiNameCharacters))
                    return false;

            for (auto* child : element->getChildIterator())
                pending.push_back (child);
        }

        return true;
    }

    /** Whatever the program writes it must read back: the tree written with
        JUCE's writer reads as the same elements with the same attributes. */
    void checkReadsBack (const juce::XmlElement& tree)
    {
        if (! hasAsciiNames (tree))
            return;

        const auto reread = SafeXml::parse (tree.toString());
        check (reread != nullptr);

        std::vector<std::pair<const juce::XmlElement*, const juce::XmlElement*>> pending { { &tree, reread.get() } };

        while (! pending.empty())
        {
            const auto [original, copy] = pending.back();
            pending.pop_back();

            check (original->getTagName() == copy->getTagName());
            check (original->getNumAttributes() == copy->getNumAttributes());

            for (int i = 0; i < original->getNumAttributes(); ++i)
                check (original->getAttributeName (i) == copy->getAttributeName (i)
                       && original->getAttributeValue (i) == copy->getAttributeValue (i));

            // Text may be laid out differently (white space, CDATA); elements may not.
            const auto elementsOf = [] (const juce::XmlElement& parent)
            {
                std::vector<const juce::XmlElement*> elements;

                for (auto* child : parent.getChildIterator())
                    if (! child->isTextElement())
                        elements.push_back (child);

                return elements;
            };

            const auto originals = elementsOf (*original), copies = elementsOf (*copy);
            check (originals.size() == copies.size());

            for (size_t i = 0; i < originals.size(); ++i)
                pending.emplace_back (originals[i], copies[i]);
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    // Small limits, so that the fuzzer reaches them with small inputs.
    SafeXml::Limits limits;
    limits.maxDepth = 16;
    limits.maxElements = 500;
    limits.maxAttributesPerElement = 8;
    limits.maxTokenBytes = 4096;

    if (const auto tree = SafeXml::parse (data, size, limits))
    {
        checkTree (*tree, limits);

        // What the program does with the trees it reads: look up values and
        // write documents back.
        tree->getStringAttribute ("Name");
        tree->getAllSubText();
        checkReadsBack (*tree);
    }

    // The same bytes as already decoded text, with the default limits.
    const auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), (int) size);

    if (const auto tree = SafeXml::parse (text))
        checkTree (*tree, SafeXml::Limits {});

    return 0;
}
