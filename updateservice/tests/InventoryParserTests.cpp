#include "base/InventoryParser.h"

#include <gtest/gtest.h>

#include <cctype>

namespace
{
    // As the application's XML writer lays it out: CR LF line ends, a blank
    // line after the declaration, attributes wrapped onto further lines,
    // non-ASCII characters as decimal references.
    const std::string applicationInventory =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n"
        "<MachineProfile MachineName=\"Studio-PC\" Platform=\"Win\" PlatformString=\"Windows 7\"\r\n"
        "                CPUVendor=\"GenuineIntel\" CPUSpeed=\"2394\" Supports64Bit=\"1\" RAM=\"8192\"\r\n"
        "                HasSSE1=\"1\" HasSSE2=\"1\" HasMMX=\"1\" Has3DNow=\"0\" DisplayLanguage=\"en\"\r\n"
        "                UserLanguage=\"en\" Region=\"US\" Time=\"7 Dec 2026 9:37:08am\">\r\n"
        "  <Plugin Name=\"Caf&#233; &amp; &lt;Verb&gt; &quot;x&quot; 'y'\" Version=\"1.23\"\r\n"
        "          Vendor=\"Acme\" Path=\"C:\\Program Files\\VST\\verb.dll\" Format=\"VST\"\r\n"
        "          Error=\"\"/>\r\n"
        "  <Plugin Name=\"Second\" Version=\"2.0\" Vendor=\"\" Path=\"C:\\b.dll\" Format=\"\"\r\n"
        "          Error=\"Problem retrieving information\"/>\r\n"
        "</MachineProfile>\r\n";

    TEST (InventoryParser, ReadsTheApplicationsFile)
    {
        const auto result = InventoryParser::parse (applicationInventory);
        ASSERT_TRUE (result.ok) << result.error;

        const auto& machine = result.inventory.machine;
        ASSERT_EQ (machine.size(), 15u);
        EXPECT_EQ (result.inventory.machineName(), "Studio-PC");
        EXPECT_EQ (machine[2], "Windows 7");
        EXPECT_EQ (machine[14], "7 Dec 2026 9:37:08am");

        ASSERT_EQ (result.inventory.plugins.size(), 2u);
        const auto& first = result.inventory.plugins[0];
        EXPECT_EQ (first.name, "Caf\xC3\xA9 & <Verb> \"x\" 'y'");
        EXPECT_EQ (first.version, "1.23");
        EXPECT_EQ (first.vendor, "Acme");
        EXPECT_EQ (first.path, "C:\\Program Files\\VST\\verb.dll");
        EXPECT_EQ (first.format, "VST");
        EXPECT_EQ (result.inventory.plugins[1].error, "Problem retrieving information");
    }

    TEST (InventoryParser, ControlCharactersTheApplicationWritesAsReferencesArrive)
    {
        // A plug-in whose names hold control characters, written as the
        // application's XML writer writes them; a stand-in character the
        // document holds for itself stays what it is.
        const auto result = InventoryParser::parse (
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<MachineProfile MachineName=\"S&#7;\">"
            "<Plugin Name=\"Synth&#1;&#x1f;\" Version=\"1.0\" Vendor=\"&#65534;&#65535;\" Path=\"a&#1113601;\xF4\x8F\xB8\x82\"/>"
            "</MachineProfile>");
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.inventory.machineName(), "S\x07");
        ASSERT_EQ (result.inventory.plugins.size(), 1u);
        EXPECT_EQ (result.inventory.plugins[0].name, "Synth\x01\x1f");
        EXPECT_EQ (result.inventory.plugins[0].vendor, "\xEF\xBF\xBE\xEF\xBF\xBF");
        EXPECT_EQ (result.inventory.plugins[0].path, "a\xF4\x8F\xB8\x81\xF4\x8F\xB8\x82");

        // U+0000 has no reference, and raw control bytes stay refused.
        EXPECT_FALSE (InventoryParser::parse ("<MachineProfile MachineName=\"&#0;\"/>").ok);
        EXPECT_FALSE (InventoryParser::parse ("<MachineProfile MachineName=\"\x01\"/>").ok);
    }

    TEST (InventoryParser, MissingAttributesReadAsEmptyAndOtherChildrenAreSkipped)
    {
        const auto result = InventoryParser::parse ("<MachineProfile><Note/><Plugin Name=\"A\"><Plugin Name=\"nested\"/></Plugin>"
                                                    "text</MachineProfile>");
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.inventory.machineName(), "");
        ASSERT_EQ (result.inventory.plugins.size(), 1u);
        EXPECT_EQ (result.inventory.plugins[0].name, "A");
        EXPECT_EQ (result.inventory.plugins[0].version, "");
    }

    struct RefusedCase
    {
        const char* label;
        std::string document;
        const char* reason;
    };

    class InventoryRefused : public ::testing::TestWithParam<RefusedCase> {};

    TEST_P (InventoryRefused, IsRefusedWithAReason)
    {
        InventoryParser::Limits limits;
        limits.maxBytes = 4096;
        limits.maxDepth = 8;
        limits.maxElements = 20;
        limits.maxAttributesPerElement = 5;
        limits.maxAttributeValueBytes = 100;
        limits.maxTokenBytes = 2048;

        const auto result = InventoryParser::parse (GetParam().document, limits);
        EXPECT_FALSE (result.ok);
        EXPECT_TRUE (result.inventory.plugins.empty());
        EXPECT_NE (result.error.find (GetParam().reason), std::string::npos) << result.error;
    }

    std::string repeated (const std::string& part, int count)
    {
        std::string text;

        for (int i = 0; i < count; ++i)
            text += part;

        return text;
    }

    INSTANTIATE_TEST_SUITE_P (Table, InventoryRefused, ::testing::Values (
        RefusedCase { "empty", "", "not well-formed" },
        RefusedCase { "not XML", "PK\x03\x04 this is a zip", "not well-formed" },
        RefusedCase { "unclosed", "<MachineProfile><Plugin Name=\"a\"/>", "not well-formed" },
        RefusedCase { "wrong root", "<Inventory/>", "root element is not MachineProfile" },
        RefusedCase { "doctype", "<!DOCTYPE MachineProfile><MachineProfile/>", "document type" },
        RefusedCase { "billion laughs",
                      "<!DOCTYPE m [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
                      "<MachineProfile MachineName=\"&b;\"/>", "document type" },
        RefusedCase { "external entity",
                      "<!DOCTYPE m [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><MachineProfile MachineName=\"&x;\"/>",
                      "document type" },
        RefusedCase { "undefined entity", "<MachineProfile MachineName=\"&nbsp;\"/>", "not well-formed" },
        RefusedCase { "too deep", "<MachineProfile>" + repeated ("<a>", 10) + repeated ("</a>", 10) + "</MachineProfile>",
                      "nested too deeply" },
        RefusedCase { "too many elements", "<MachineProfile>" + repeated ("<Plugin/>", 20) + "</MachineProfile>",
                      "too many elements" },
        RefusedCase { "too many attributes", "<MachineProfile a=\"1\" b=\"1\" c=\"1\" d=\"1\" e=\"1\" f=\"1\"/>",
                      "too many attributes" },
        RefusedCase { "long value", "<MachineProfile MachineName=\"" + std::string (101, 'x') + "\"/>", "too long" },
        RefusedCase { "too large", "<MachineProfile>" + std::string (5000, ' ') + "</MachineProfile>", "larger than" },
        RefusedCase { "long element name", "<MachineProfile><" + std::string (3500, 'n') + "/></MachineProfile>",
                      "longer than 2 KiB" },
        RefusedCase { "long comment", "<MachineProfile><!--" + std::string (3500, 'c') + "--></MachineProfile>",
                      "longer than 2 KiB" },
        RefusedCase { "two roots", "<MachineProfile/><MachineProfile/>", "not well-formed" },
        RefusedCase { "bad UTF-8", "<MachineProfile MachineName=\"\xFF\xFE\"/>", "not well-formed" }),
        [] (const ::testing::TestParamInfo<RefusedCase>& testInfo)
        {
            std::string name;

            for (const auto c : std::string (testInfo.param.label))
                name += std::isalnum (static_cast<unsigned char> (c)) ? c : '_';

            return name;
        });

    TEST (InventoryParser, AcceptsExactlyTheElementLimit)
    {
        InventoryParser::Limits limits;
        limits.maxElements = 11;
        const auto atLimit = InventoryParser::parse ("<MachineProfile>" + repeated ("<Plugin Name=\"p\" Version=\"1.0\"/>", 10)
                                                     + "</MachineProfile>", limits);
        ASSERT_TRUE (atLimit.ok) << atLimit.error;
        EXPECT_EQ (atLimit.inventory.plugins.size(), 10u);
    }

    // Text is read as it comes; only markup must end within the limit.
    TEST (InventoryParser, LongTextBetweenTagsIsNotATokenTooLong)
    {
        InventoryParser::Limits limits;
        limits.maxTokenBytes = 2048;
        const auto result = InventoryParser::parse ("<MachineProfile MachineName=\"m\">" + std::string (20000, 't')
                                                    + "<Plugin Name=\"p\"/></MachineProfile>", limits);
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.inventory.plugins.size(), 1u);
    }
}
