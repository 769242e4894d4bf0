#include "core/inventory/ScanUpload.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    class ScanUploadTest : public ::testing::Test
    {
    protected:
        ScanUploadTest()
        {
            writeTestProfile (test.settings, "Studio", "user+tag@example.com", password);

            inventoryFile.replaceWithText ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<MachineProfile MachineName=\"Studio\"/>\r\n");
        }

        ScanUpload::Result upload (std::function<bool()> shouldAbort = {})
        {
            const ConnectionCheck connection (test.service, test.desktop);
            return ScanUpload::run (test.settings, test.service, connection, inventoryFile, shouldAbort);
        }

        void answerScanWith (const juce::String& body)   { server.setHandler (answeringScansWith (body)); }

        const juce::String password = juce::String::fromUTF8 ("p&ss w\xc3\xb6rd=\"x\"");
        LoopbackHttpServer server { [] (const auto&) { return LoopbackHttpServer::Response::text ("<UpdateList/>"); } };
        TestContext test { server.getBaseUrl() };
        juce::File inventoryFile = test.dataFolder().getChildFile ("Studio_PluginList.xml");
        juce::File updateListFile = test.dataFolder().getChildFile ("Studio_CobaltlineList.xml");
    };
}

TEST_F (ScanUploadTest, ChecksTheConnectionThenPostsTheFieldsAndTheInventoryAsMultipart)
{
    answerScanWith ("<UpdateList/>");
    upload();

    const auto requests = server.getRequests();
    ASSERT_EQ (requests.size(), 2u);
    EXPECT_EQ (requests[0].method, juce::String ("GET"));
    EXPECT_EQ (requests[0].path, juce::String ("/checkconnect/index.html"));

    const auto& post = requests[1];
    EXPECT_EQ (post.method, juce::String ("POST"));
    EXPECT_EQ (post.path, juce::String ("/scan/index.php"));

    const auto contentType = post.getHeader ("content-type");
    ASSERT_TRUE (contentType.startsWith ("multipart/form-data; boundary="));
    const auto boundary = contentType.fromFirstOccurrenceOf ("boundary=", false, false);

    const auto expected = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\n"
                          "user+tag@example.com\r\n"
                        + "--" + boundary + "\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n"
                        + password + "\r\n"
                        + "--" + boundary + "\r\nContent-Disposition: form-data; name=\"userfile\"; "
                          "filename=\"Studio_PluginList.xml\"\r\nContent-Type: text/xml\r\n"
                          "Content-Transfer-Encoding: binary\r\n\r\n"
                        + readText (inventoryFile) + "\r\n--" + boundary + "--\r\n";

    EXPECT_EQ (juce::String::fromUTF8 (static_cast<const char*> (post.body.getData()), (int) post.body.getSize()), expected);
}

TEST_F (ScanUploadTest, TheReplyIsStoredWholeWhateverItsRoot)
{
    for (const auto* reply : { "<UpdateList><Plugin Name=\"A\" CurrentVersion=\"2.500\"/></UpdateList>",
                               "<Errors ErrorTitle=\"Login Failed\" ErrorText=\"Wrong password\"/>",
                               "<anything/>" })
    {
        answerScanWith (reply);
        const auto result = upload();

        ASSERT_EQ (result.outcome, ScanUpload::Outcome::stored);
        ASSERT_NE (result.reply, nullptr);
        EXPECT_EQ (result.updateListFile, updateListFile);

        const auto stored = juce::parseXML (updateListFile);
        ASSERT_NE (stored, nullptr);
        EXPECT_TRUE (stored->isEquivalentTo (result.reply.get(), false)) << reply;
        EXPECT_TRUE (readText (updateListFile).startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"));
    }
}

TEST_F (ScanUploadTest, WithoutAnXmlReplyTheStoredListIsUntouched)
{
    updateListFile.replaceWithText ("previous list");

    for (const auto* body : { "", "Internal Server Error", "<UpdateList><Plugin" })
    {
        answerScanWith (body);
        const auto result = upload();
        EXPECT_EQ (result.outcome, ScanUpload::Outcome::noReply) << body;
        EXPECT_EQ (result.reply, nullptr);
        EXPECT_EQ (readText (updateListFile), juce::String ("previous list"));
    }
}

TEST_F (ScanUploadTest, WithoutAConnectionNothingIsSent)
{
    updateListFile.replaceWithText ("previous list");
    test.setServiceUrl (LoopbackHttpServer::getUnusedBaseUrl());

    const auto result = upload();

    EXPECT_EQ (result.outcome, ScanUpload::Outcome::notConnected);
    EXPECT_EQ (readText (updateListFile), juce::String ("previous list"));
}

TEST_F (ScanUploadTest, TheUpdateListFollowsTheMachineNameAtTheTimeOfTheReply)
{
    answerScanWith ("<UpdateList/>");
    test.settings.getProfileFile().replaceWithText ("<CobaltlineProfile MachineName=\"Laptop\" Email=\"a@b.c\" Password=\"\"/>");

    const auto result = upload();

    EXPECT_EQ (result.updateListFile, test.dataFolder().getChildFile ("Laptop_CobaltlineList.xml"));
    EXPECT_TRUE (result.updateListFile.existsAsFile());
    EXPECT_FALSE (updateListFile.exists());
}

TEST_F (ScanUploadTest, AnAbortedUploadEndsQuicklyWithoutAReply)
{
    SKIP_UNDER_WINE_WHERE_WININET_CANNOT_CANCEL();

    server.setHandler (neverAnsweringScans());

    const auto started = juce::Time::getMillisecondCounter();
    const auto result = upload ([started] { return juce::Time::getMillisecondCounter() - started > 300; });

    EXPECT_EQ (result.outcome, ScanUpload::Outcome::noReply);
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 5000u);
}
