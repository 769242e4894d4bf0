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
        check (tree->toString().isNotEmpty());
    }

    // The same bytes as already decoded text, with the default limits.
    const auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), (int) size);

    if (const auto tree = SafeXml::parse (text))
        checkTree (*tree, SafeXml::Limits {});

    return 0;
}
