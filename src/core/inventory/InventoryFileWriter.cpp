#include "core/inventory/InventoryFileWriter.h"

namespace
{
    const char* const newLine = "\r\n";
    const char* const header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";

    /** The element as JUCE writes it at the top level, without declaration or final line end. */
    juce::String elementText (const juce::XmlElement& element)
    {
        return element.toString (juce::XmlElement::TextFormat().withoutHeader()).trimCharactersAtEnd (newLine);
    }
}

InventoryFileWriter::InventoryFileWriter (const juce::XmlElement& root)
{
    juce::XmlElement bare (root.getTagName());

    for (int i = 0; i < root.getNumAttributes(); ++i)
        bare.setAttribute (root.getAttributeName (i), root.getAttributeValue (i));

    const auto text = elementText (bare);
    jassert (text.endsWith ("/>"));

    emptyRoot = text + newLine;
    openingTag = text.dropLastCharacters (2) + ">";
    closingTag = juce::String (newLine) + "</" + root.getTagName() + ">" + newLine;

    for (auto* child : root.getChildIterator())
        append (*child);
}

void InventoryFileWriter::append (const juce::XmlElement& child)
{
    // JUCE indents a child by two spaces; attributes that wrap onto further
    // lines are indented by two more as well, and where lines wrap does not
    // depend on the indentation.
    children << newLine << "  " << elementText (child).replace (newLine, juce::String (newLine) + "  ");
    ++numChildren;
}

bool InventoryFileWriter::writeTo (const juce::File& file) const
{
    // JUCE would make the temporary file of an empty path in the root folder.
    if (file == juce::File())
        return false;

    juce::TemporaryFile temporary (file);

    {
        juce::FileOutputStream out (temporary.getFile());

        if (! out.openedOk())
            return false;

        out << header;

        if (numChildren == 0)
        {
            out << emptyRoot;
        }
        else
        {
            out << openingTag;
            out.write (children.getData(), children.getDataSize());
            out << closingTag;
        }

        out.flush();   // syncs the file to disk before it replaces the old one

        if (out.getStatus().failed())
            return false;
    }

    return temporary.overwriteTargetFileWithTemporary();
}
