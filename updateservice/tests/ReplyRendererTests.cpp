#include "http/ReplyRenderer.h"

#include <gtest/gtest.h>

#include <ostream>

namespace
{
    struct RenderCase
    {
        const char* label;
        Outcome outcome;
        std::string root;   ///< the document after the XML declaration
    };

    void PrintTo (const RenderCase& c, std::ostream* out)
    {
        *out << c.label;
    }

    class ReplyRendering : public ::testing::TestWithParam<RenderCase> {};

    // The application reads these names; their order is part of the
    // replies as they have always been written.
    TEST_P (ReplyRendering, WritesTheProtocolsTagsAndAttributesInOrder)
    {
        EXPECT_EQ (ReplyRenderer::render (GetParam().outcome),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + GetParam().root);
    }

    INSTANTIATE_TEST_SUITE_P (Table, ReplyRendering, ::testing::Values (
        RenderCase { "errors", Outcome::errors ("T", "a & b"), "<Errors ErrorTitle=\"T\" ErrorText=\"a &amp; b\"/>\r\n" },
        RenderCase { "success", Outcome::success ("T", "X"), "<Success SuccessTitle=\"T\" SuccessText=\"X\"/>\r\n" },
        RenderCase { "profile", Outcome::profile ("Ann", "Lee", true, 42),
                     "<Profile FirstName=\"Ann\" LastName=\"Lee\" IsDeveloper=\"1\" UserId=\"42\"/>\r\n" },
        RenderCase { "current", Outcome::current(), "<Current/>\r\n" },
        RenderCase { "version", Outcome::version ("T", "X", "https://example.com/?a=1&b=2"),
                     "<Version VersionTitle=\"T\" VersionText=\"X\" VersionURL=\"https://example.com/?a=1&amp;b=2\"/>\r\n" },
        RenderCase { "emptyList", Outcome::updateList ({}), "<UpdateList/>\r\n" },
        RenderCase { "list", Outcome::updateList ({ { "A", "V", "VST", "1.0", "1.1", "https://a" },
                                                    { "B", "W", "AU", "2", "3", "" } }),
                     "<UpdateList>\r\n"
                     "  <Plugin Name=\"A\" Vendor=\"V\" Format=\"VST\" InstalledVersion=\"1.0\" CurrentVersion=\"1.1\" Website=\"https://a\"/>\r\n"
                     "  <Plugin Name=\"B\" Vendor=\"W\" Format=\"AU\" InstalledVersion=\"2\" CurrentVersion=\"3\" Website=\"\"/>\r\n"
                     "</UpdateList>\r\n" }),
        [] (const ::testing::TestParamInfo<RenderCase>& testInfo) { return std::string (testInfo.param.label); });
}
