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
}

TEST (SafeXml, AllowsNestingUpToTheLimitAndRefusesDeeper)
{
    EXPECT_NE (SafeXml::parse (nested (SafeXml::maxDepth)), nullptr);
    EXPECT_NE (SafeXml::parse (nested (SafeXml::maxDepth - 1, true)), nullptr);
    EXPECT_EQ (SafeXml::parse (nested (SafeXml::maxDepth + 1)), nullptr);
    EXPECT_EQ (SafeXml::parse (nested (200000)), nullptr);   // would overflow the parser's stack
}

TEST (SafeXml, SiblingsDoNotAddUpToDepth)
{
    std::string text ("<root>");

    for (int i = 0; i < 5000; ++i)
        text += "<Plugin Name=\"n\"/><Other></Other>";

    text += "</root>";
    const auto doc = SafeXml::parse (text);
    ASSERT_NE (doc, nullptr);
    EXPECT_EQ (doc->getNumChildElements(), 10000);
}

TEST (SafeXml, RefusesDocumentTypeDeclarations)
{
    // Recursive and exponential entities, and an external one reading a local file.
    EXPECT_EQ (SafeXml::parse ("<!DOCTYPE r [<!ENTITY a \"&a;\">]><r v=\"&a;\"/>"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<!DOCTYPE r [<!ENTITY a \"xx\"><!ENTITY b \"&a;&a;&a;&a;\">]><r v=\"&b;\"/>"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<?xml version=\"1.0\"?><!doctype r SYSTEM \"/etc/passwd\"><r/>"), nullptr);
}

TEST (SafeXml, UnknownEntitiesWithoutADeclarationDoNotExpand)
{
    const auto doc = SafeXml::parse ("<r v=\"&nothing;\"/>");

    if (doc != nullptr)
    {
        EXPECT_LE (doc->getStringAttribute ("v").length(), 10);
    }
}

TEST (SafeXml, GarbageGivesNothing)
{
    EXPECT_EQ (SafeXml::parse (""), nullptr);
    EXPECT_EQ (SafeXml::parse ("not xml at all"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<unclosed attr=\"x"), nullptr);
    EXPECT_EQ (SafeXml::parse ("<a><b></a>"), nullptr);
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
