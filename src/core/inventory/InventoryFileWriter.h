#pragma once

#include <juce_core/juce_core.h>

/** Writes a growing inventory document to its file, again and again, exactly
    as SettingsStore::writeDocument (JUCE's XML writer) would write it, while
    turning each "Plugin" element into text only once.

    A scan rewrites the whole inventory after every folder; with JUCE's writer
    that costs the text of every plug-in found so far, each time. Here the
    text of the children is kept and only the new ones are added. The children
    must be elements without text content, as "Plugin" elements are.
*/
class InventoryFileWriter
{
public:
    /** Takes the root's tag and attributes, and any children it already has. */
    explicit InventoryFileWriter (const juce::XmlElement& root);

    /** Adds one child at the end of the document. */
    void append (const juce::XmlElement& child);

    /** Replaces the file whole (temporary file, then rename). False on failure. */
    bool writeTo (const juce::File& file) const;

private:
    juce::String emptyRoot;    // the root without children: "<Tag .../>" and a line end
    juce::String openingTag;   // "<Tag ...>"
    juce::String closingTag;   // line end, "</Tag>" and a line end
    juce::MemoryOutputStream children;
    int numChildren = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InventoryFileWriter)
};
