#pragma once

#include <juce_core/juce_core.h>

/** XML parsing for documents we did not write ourselves in this run: settings
    files, inventory and update-list files, and service replies.

    JUCE's parser expands DTD entities recursively without a limit and descends
    recursively into nested elements, so a hostile document could exhaust
    memory or the stack. These functions refuse any document with a DOCTYPE,
    nesting deeper than maxDepth or more text than the caller allows, and
    return nullptr for those and for anything that does not parse.
    Safe to call from any thread.
*/
namespace SafeXml
{
    inline constexpr int maxDepth = 64;

    /** Parses a whole document held in memory. */
    std::unique_ptr<juce::XmlElement> parse (const juce::String& text);

    /** Parses a file of at most maxBytes bytes (larger files give nullptr). */
    std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file, juce::int64 maxBytes);

    /** True when the text has no DOCTYPE and its elements nest at most maxDepth deep. */
    bool isAcceptable (const juce::String& text);
}
