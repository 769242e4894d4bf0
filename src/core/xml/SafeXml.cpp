#include "core/xml/SafeXml.h"

namespace SafeXml
{
namespace
{
    using CharPointer = juce::String::CharPointerType;

    /** Moves p just past the next occurrence of terminator; false when there is none. */
    bool skipPast (CharPointer& p, const char* terminator)
    {
        const auto found = p.indexOf (juce::CharPointer_ASCII (terminator));

        if (found < 0)
            return false;

        p += found + (int) std::strlen (terminator);
        return true;
    }

    /** Moves p past the '>' that closes a tag, ignoring any '>' inside quoted
        attribute values. Returns the character before that '>', or 0 when the
        tag never closes.
    */
    juce::juce_wchar skipTag (CharPointer& p)
    {
        juce::juce_wchar quote = 0, previous = 0;

        while (! p.isEmpty())
        {
            const auto c = p.getAndAdvance();

            if (quote != 0)
            {
                if (c == quote)
                    quote = 0;
            }
            else if (c == '"' || c == '\'')
            {
                quote = c;
            }
            else if (c == '>')
            {
                return previous == 0 ? ' ' : previous;
            }

            previous = c;
        }

        return 0;
    }
}

bool isAcceptable (const juce::String& text)
{
    auto p = text.getCharPointer();
    int depth = 0;

    for (;;)
    {
        const auto next = p.indexOf ((juce::juce_wchar) '<');

        if (next < 0)
            return true;

        p += next + 1;

        if (p.compareUpTo (juce::CharPointer_ASCII ("!--"), 3) == 0)
        {
            if (! skipPast (p, "-->"))
                return true;   // an unclosed comment is left for the parser to reject
        }
        else if (p.compareUpTo (juce::CharPointer_ASCII ("![CDATA["), 8) == 0)
        {
            if (! skipPast (p, "]]>"))
                return true;
        }
        else if (*p == '?')
        {
            if (! skipPast (p, "?>"))
                return true;
        }
        else if (*p == '!')
        {
            return false;      // DOCTYPE and other declarations bring entities
        }
        else if (*p == '/')
        {
            --depth;
            skipTag (p);
        }
        else
        {
            const auto last = skipTag (p);

            if (last != '/' && ++depth > maxDepth)
                return false;
        }
    }
}

std::unique_ptr<juce::XmlElement> parse (const juce::String& text)
{
    if (! isAcceptable (text))
        return nullptr;

    juce::XmlDocument document (text);
    return document.getDocumentElement();
}

std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file, juce::int64 maxBytes)
{
    if (! file.existsAsFile() || file.getSize() > maxBytes)
        return nullptr;

    juce::FileInputStream in (file);

    if (! in.openedOk())
        return nullptr;

    juce::MemoryBlock data;

    // The size is checked again on what was read: the file may grow meanwhile.
    if (in.readIntoMemoryBlock (data, maxBytes + 1) > (size_t) maxBytes || data.isEmpty())
        return nullptr;

    return parse (juce::String::createStringFromData (data.getData(), (int) data.getSize()));
}
}
