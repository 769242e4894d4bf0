#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

/**
    One element of a reply document: a tag, attributes in the order they
    were set, and child elements. toDocument() gives the whole reply: an XML
    declaration naming UTF-8 and this element as the root. The low-level
    writer under ReplyRenderer, which decides what the replies hold.

    Attribute values may come from anywhere (stored names, uploaded plug-in
    names): they are escaped. Control characters, U+FFFE and U+FFFF are
    written as references ("&#1;"), as the application's own files write
    them and its reader reads them back; what no reader could read (broken
    UTF-8, U+0000) becomes U+FFFD.

    Not thread-safe; build one per request.
*/
class XmlReply
{
public:
    explicit XmlReply (std::string tagName);

    /** Adds an attribute; the name must be a valid XML name (it is ours). */
    XmlReply& set (std::string name, std::string value);

    /** Adds a child element and returns it for filling in. The reference
        stays valid until the next call of addChild on this element. */
    XmlReply& addChild (std::string tagName);

    /** The element and its children as XML text, without declaration. */
    std::string toString() const;

    /** The XML declaration followed by this element. */
    std::string toDocument() const;

    /** Escapes text for a double-quoted attribute value. */
    static std::string escapeAttribute (std::string_view value);

private:
    void appendTo (std::string& out, int depth) const;

    std::string tag;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlReply> children;
};
