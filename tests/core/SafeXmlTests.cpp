#include "core/xml/SafeXml.h"

#include <gtest/gtest.h>

namespace
{
    juce::String nested (int depth, bool selfClosingInnermost = false)
    {
        std::string text;

        for (int i = 0; i < depth; ++i)
            text += "<e a=\"x>y\">";

        if (selfClosingInnermost)
            text += "<leaf/>";

        for (int i = 0; i < depth; ++i)
            text += "</e>";

        return text;
    }

    std::string repeated (const std::string& piece, int times)
    {
        std::string text;

        for (int i = 0; i < times; ++i)
            text += piece;

        return text;
    }

    std::unique_ptr<juce::XmlElement> parseBytes (const std::string& bytes, const SafeXml::Limits& limits = {})
    {
        return SafeXml::parse (bytes.data(), bytes.size(), limits);
    }
}

TEST (SafeXml, ParsesOrdinaryDocuments)
{
    const auto doc = SafeXml::parse ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n"
                                     "<!-- <not><an><element> -->"
                                     "<Errors ErrorTitle=\"T &amp; &#233;\" ErrorText=\"&lt;x&gt;\"><![CDATA[<<<]]></Errors>");
    ASSERT_NE (doc, nullptr);
    EXPECT_EQ (doc->getTagName(), juce::String ("Errors"));
    EXPECT_EQ (doc->getStringAttribute ("ErrorTitle"), juce::String::fromUTF8 ("T & \xc3\xa9"));
    EXPECT_EQ (doc->getStringAttribute ("ErrorText"), juce::String ("<x>"));
    EXPECT_EQ (doc->getAllSubText(), juce::String ("<<<"));
}

// Documents that JUCE's own parser reads give the same tree, so the readers
// of replies and files see what they always saw.
TEST (SafeXml, GivesTheTreeJuceWouldGive)
{
    const std::string documents[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UpdateList>\n  <Plugin Name=\"A\" Vendor=\"V\"/>\n"
        "  <Plugin Name=\"B &amp; C\"/>\n</UpdateList>\n",
        "<Errors><ErrorTitle>Wrong\r\nPassword</ErrorTitle><ErrorText> spaced  &lt;text&gt; <!-- gone --> on </ErrorText></Errors>",
        "<r>  <a/> text <![CDATA[ ]]> more <b x=\"1\" y=\"2\"><c/></b>\t</r>",
    };

    for (const auto& text : documents)
    {
        const auto ours = parseBytes (text);
        const auto juces = juce::parseXML (juce::String (text));
        ASSERT_NE (ours, nullptr) << text;
        ASSERT_NE (juces, nullptr) << text;
        EXPECT_TRUE (ours->isEquivalentTo (juces.get(), false)) << text;
        EXPECT_EQ (ours->toString(), juces->toString()) << text;
    }
}

TEST (SafeXml, ToleratesWhatSurroundsTheRootElementLikeJuce)
{
    // A reply may begin with a blank line and end with stray output.
    EXPECT_NE (parseBytes ("\r\n  <?xml version=\"1.0\"?><Current/>\n<b>Notice</b>"), nullptr);
    EXPECT_NE (parseBytes ("\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"UTF-8\"?><Current/>"), nullptr);
    EXPECT_NE (SafeXml::parse (juce::String ("\n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r v=\"") + juce::String::fromUTF8 ("\xc3\xa9") + "\"/>"), nullptr);

    const auto latin1 = parseBytes ("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r v=\"\xe9\"/>");
    ASSERT_NE (latin1, nullptr);
    EXPECT_EQ (latin1->getStringAttribute ("v"), juce::String::fromUTF8 ("\xc3\xa9"));
}

TEST (SafeXml, ReadsReferencesToControlCharactersOnlyWhereTheyAreReferences)
{
    const auto doc = parseBytes ("<r v=\"&#1;&#x1f;\">&#8;<![CDATA[&#1;]]><!-- &#2; --></r>");
    ASSERT_NE (doc, nullptr);
    EXPECT_EQ (doc->getStringAttribute ("v"), juce::String ("\x01\x1f"));
    EXPECT_EQ (doc->getAllSubText(), juce::String ("\x08&#1;"));

    // In another encoding the stand-ins' UTF-8 bytes are just characters.
    const auto latin1 = parseBytes ("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r v=\"\xf4\x8f\xb8\x81&#1;\"/>");
    ASSERT_NE (latin1, nullptr);
    EXPECT_EQ (latin1->getStringAttribute ("v"), juce::String::fromUTF8 ("\xc3\xb4\xc2\x8f\xc2\xb8\xc2\x81\x01"));

    // U+0000 and raw control bytes stay what XML refuses.
    EXPECT_EQ (parseBytes ("<r v=\"&#0;\"/>"), nullptr);
    EXPECT_EQ (parseBytes ("<r v=\"\x01\"/>"), nullptr);
    EXPECT_EQ (parseBytes ("<r v=\"&#xD800;\"/>"), nullptr);
}

TEST (SafeXml, AllowsNestingUpToTheLimitAndRefusesDeeper)
{
    EXPECT_NE (SafeXml::parse (nested (SafeXml::maxDepth)), nullptr);
    EXPECT_NE (SafeXml::parse (nested (SafeXml::maxDepth - 1, true)), nullptr);
    EXPECT_EQ (SafeXml::parse (nested (SafeXml::maxDepth + 1)), nullptr);
    EXPECT_EQ (SafeXml::parse (nested (200000)), nullptr);
}

// Quotes in closing tags once made a hand-written depth check lose track of
// the nesting, and a recursive parser then ran out of stack.
TEST (SafeXml, QuotesInClosingTagsCannotHideNesting)
{
    const auto hostile = "<UpdateList><y></y'>" + repeated ("<a>", 30000) + "'></UpdateList>";
    EXPECT_EQ (parseBytes (hostile), nullptr);

    const auto deepInsideQuotes = "<r a='" + repeated ("<a>", 30000) + "'>" + repeated ("<a>", 30000) + "</r>";
    EXPECT_EQ (parseBytes (deepInsideQuotes), nullptr);
}

TEST (SafeXml, SiblingsDoNotAddUpToDepth)
{
    const auto text = "<root>" + repeated ("<Plugin Name=\"n\"/><Other></Other>", 5000) + "</root>";
    const auto doc = parseBytes (text);
    ASSERT_NE (doc, nullptr);
    EXPECT_EQ (doc->getNumChildElements(), 10000);
    EXPECT_EQ (doc->getChildElement (9998)->getTagName(), juce::String ("Plugin"));
}

TEST (SafeXml, RefusesDocumentTypeDeclarations)
{
    // Recursive and exponential entities, and an external one reading a local file.
    EXPECT_EQ (SafeXml::parse ("<!DOCTYPE r [<!ENTITY a \"&a;\">]><r v=\"&a;\"/>"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<!DOCTYPE r [<!ENTITY a \"xx\"><!ENTITY b \"&a;&a;&a;&a;\">]><r v=\"&b;\"/>"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"/etc/passwd\"><r/>"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<?xml version=\"1.0\"?><!DOCTYPE r><r/>"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<r v=\"&nothing;\"/>"), nullptr);
}

TEST (SafeXml, RefusesDocumentsBeyondTheLimits)
{
    SafeXml::Limits small;
    small.maxBytes = 100;
    small.maxElements = 10;
    small.maxAttributesPerElement = 3;
    small.maxTokenBytes = 1000;

    EXPECT_NE (parseBytes ("<r a=\"1\" b=\"2\" c=\"3\"><x/><x/></r>", small), nullptr);
    EXPECT_EQ (parseBytes ("<r a=\"1\" b=\"2\" c=\"3\" d=\"4\"/>", small), nullptr);
    EXPECT_EQ (parseBytes ("<r>" + repeated ("<x/>", 10) + "</r>", small), nullptr);
    EXPECT_EQ (parseBytes ("<r>" + repeated ("<x/>t", 6) + "</r>", small), nullptr);   // text counts too
    EXPECT_EQ (parseBytes ("<r>" + std::string (100, ' ') + "</r>", small), nullptr);
}

TEST (SafeXml, RefusesHugeTokensWhileReading)
{
    const auto huge = std::string (2 * 1024 * 1024, 'n');

    EXPECT_EQ (parseBytes ("<r><" + huge + "/></r>"), nullptr);
    EXPECT_EQ (parseBytes ("<r a=\"" + huge + "\"/>"), nullptr);
    EXPECT_EQ (parseBytes ("<r><!--" + huge + "--></r>"), nullptr);
    EXPECT_EQ (parseBytes ("<r><?pi " + huge + "?></r>"), nullptr);

    // Long text is not one token: it is handed over piece by piece.
    const auto doc = parseBytes ("<r>" + huge + "</r>");
    ASSERT_NE (doc, nullptr);
    EXPECT_EQ (doc->getAllSubText().length(), (int) huge.size());
}

TEST (SafeXml, GarbageGivesNothing)
{
    EXPECT_EQ (SafeXml::parse (""), nullptr);
    EXPECT_EQ (SafeXml::parse ("   "), nullptr);
    EXPECT_EQ (SafeXml::parse ("not xml at all"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<unclosed attr=\"x"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<a><b></a>"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<a><b></b>"), nullptr);          // truncated
    EXPECT_EQ (parseBytes ("<r v=\"\xff\xfe\"/>"), nullptr);     // not UTF-8
    EXPECT_EQ (parseBytes (std::string ("<r>\0</r>", 8)), nullptr);
}

TEST (SafeXml, FilesLargerThanAllowedAreNotRead)
{
    const auto file = juce::File::createTempFile (".xml");
    file.replaceWithText ("<Root a=\"1\"/>");

    EXPECT_NE (SafeXml::parseFile (file, 1000), nullptr);
    EXPECT_EQ (SafeXml::parseFile (file, 5), nullptr);
    EXPECT_EQ (SafeXml::parseFile (file.getSiblingFile ("missing.xml"), 1000), nullptr);
    file.deleteFile();
}
