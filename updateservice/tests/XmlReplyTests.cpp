#include "http/XmlReply.h"

#include "xmlrefs/ReferenceFilter.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <map>

namespace
{
    // Reads back the root's attributes as the application reads a reply:
    // expat behind the reference filter.
    std::map<std::string, std::string> rootAttributes (const std::string& document, std::string& rootTag)
    {
        struct Reader
        {
            std::map<std::string, std::string> attributes;
            std::string tag;
            int depth = 0;
        } reader;

        XML_Parser parser = XML_ParserCreate (nullptr);
        XML_SetUserData (parser, &reader);
        XML_SetElementHandler (parser,
            [] (void* data, const XML_Char* name, const XML_Char** atts)
            {
                auto& r = *static_cast<Reader*> (data);

                if (r.depth++ == 0)
                {
                    r.tag = name;

                    for (auto a = atts; *a != nullptr; a += 2)
                    {
                        std::string value (a[1]);
                        xmlrefs::restore (value);
                        r.attributes[a[0]] = value;
                    }
                }
            },
            [] (void* data, const XML_Char*) { --static_cast<Reader*> (data)->depth; });

        std::string filtered;
        xmlrefs::ReferenceFilter references;
        references.feed (document, filtered);
        references.finish (filtered);

        const auto ok = XML_Parse (parser, filtered.data(), static_cast<int> (filtered.size()), XML_TRUE) == XML_STATUS_OK;
        XML_ParserFree (parser);
        EXPECT_TRUE (ok) << document;
        rootTag = reader.tag;
        return reader.attributes;
    }

    TEST (XmlReply, ErrorsReplyRoundTripsEveryAwkwardCharacter)
    {
        const std::string text = "a & b < c > d \"q\" 'apostrophe'\ttab\r\nnew line Caf\xC3\xA9 \xF0\x9F\x8E\xB5";
        XmlReply errors ("Errors");
        errors.set ("ErrorTitle", "Title").set ("ErrorText", text);
        const auto document = errors.toDocument();

        EXPECT_EQ (document.rfind ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);

        std::string tag;
        const auto attributes = rootAttributes (document, tag);
        EXPECT_EQ (tag, "Errors");
        EXPECT_EQ (attributes.at ("ErrorTitle"), "Title");
        EXPECT_EQ (attributes.at ("ErrorText"), text);
    }

    TEST (XmlReply, ControlCharactersAreWrittenAsTheApplicationsFilesWriteThem)
    {
        // An uploaded plug-in name comes back exactly as it went.
        const std::string name = "Synth\x01\x1f \xEF\xBF\xBE\xEF\xBF\xBF";
        XmlReply list ("UpdateList");
        list.addChild ("Plugin").set ("Name", name);
        EXPECT_NE (list.toString().find ("Synth&#1;&#31; &#65534;&#65535;"), std::string::npos);

        XmlReply root ("Plugin");
        root.set ("Name", name);
        std::string tag;
        EXPECT_EQ (rootAttributes (root.toDocument(), tag).at ("Name"), name);
    }

    TEST (XmlReply, BytesNoReaderCanTakeBecomeReplacementCharacters)
    {
        const std::string bad = std::string ("b\xFF" "c\xC0\xAF" "d", 6) + std::string (1, '\0') + "e";
        std::string tag;
        XmlReply success ("Success");
        success.set ("SuccessTitle", bad).set ("SuccessText", "ok");
        const auto attributes = rootAttributes (success.toDocument(), tag);

        EXPECT_EQ (tag, "Success");
        EXPECT_EQ (attributes.at ("SuccessTitle"),
                   "b\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD" "d\xEF\xBF\xBD" "e");
    }

    TEST (XmlReply, ChildrenAreWrittenInOrder)
    {
        XmlReply list ("UpdateList");
        list.addChild ("Plugin").set ("Name", "One");
        list.addChild ("Plugin").set ("Name", "Two & Three");

        const auto document = list.toDocument();
        const auto one = document.find ("Name=\"One\"");
        const auto two = document.find ("Name=\"Two &amp; Three\"");
        ASSERT_NE (one, std::string::npos);
        ASSERT_NE (two, std::string::npos);
        EXPECT_LT (one, two);
        EXPECT_NE (document.find ("</UpdateList>"), std::string::npos);
        EXPECT_EQ (XmlReply ("Current").toString(), "<Current/>\r\n");
    }
}
