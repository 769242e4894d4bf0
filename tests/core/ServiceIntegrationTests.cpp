// The application's own requests against the real stand-in service binary.

#include "core/inventory/InventoryWalk.h"
#include "core/inventory/MachineProfile.h"
#include "core/inventory/ScanUpload.h"
#include "core/service/AccountRequests.h"
#include "core/service/ServiceReply.h"

#include "../support/TestSupport.h"
#include "ServiceProcess.h"

#include <gtest/gtest.h>

#include <map>

using namespace ServiceRequests;

namespace
{
    const juce::File fixtures (COBALTLINE_FIXTURES_DIR);

    // The service mails a code just after it has replied: the message is
    // waited for. Sign-ups are followed by a confirmation message, which
    // its subject tells apart.
    juce::String newestResetCode (const juce::File& outbox)
    {
        juce::Array<juce::File> messages;

        for (int attempt = 0; attempt < 200 && messages.isEmpty(); ++attempt)
        {
            if (attempt > 0)
                juce::Thread::sleep (50);

            for (const auto& message : outbox.findChildFiles (juce::File::findFiles, false, "*.eml"))
                if (message.loadFileAsString().contains ("\r\nSubject: Your Cobaltline password reset code\r\n"))
                    messages.add (message);
        }

        messages.sort();

        if (messages.isEmpty())
            return {};

        juce::StringArray lines;
        lines.addLines (messages.getLast().loadFileAsString());

        for (const auto& line : lines)
            if (line.length() == 12 && line.containsOnly ("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"))
                return line;

        return {};
    }

    class ServiceIntegration : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            std::string output;
            ASSERT_EQ (ServiceProcess::runToEnd (COBALTLINE_SERVICE_BINARY,
                                                 { "import-catalog", "--db", db().toStdString(), COBALTLINE_SEED_CATALOG },
                                                 output), 0) << output;

            service = std::make_unique<ServiceProcess> (COBALTLINE_SERVICE_BINARY,
                                                        std::vector<std::string> { "serve", "--listen", "127.0.0.1:0",
                                                            "--db", db().toStdString(),
                                                            "--outbox", test.temp["outbox"].getFullPathName().toStdString(),
                                                            "--argon2", "fast", "--latest-app-version", "1.0.5",
                                                            "--latest-app-title", "Cobaltline 1.0.5",
                                                            "--latest-app-text", "A new version is out.",
                                                            "--latest-app-url", "https://example.com/download" },
                                                        test.temp["service.log"].getFullPathName().toStdString());
            ASSERT_GT (service->port(), 0);
            test.setServiceUrl ("http://127.0.0.1:" + juce::String (service->port()));
        }

        juce::String db() const     { return test.temp["service.db"].getFullPathName(); }

        std::unique_ptr<juce::XmlElement> send (const AccountRequest& request) const
        {
            return AccountRequests::send (test.service, request);
        }

        ReplyKind kindOfReply (const AccountRequest& request) const
        {
            return classifyReply (send (request).get()).kind;
        }

        ReplyKind registerAccount (const juce::String& email, const juce::String& password) const
        {
            RegisterRequest request;
            request.email = email;
            request.password = password;
            request.firstName = "Ada";
            request.lastName = "Lovelace";
            return kindOfReply (request);
        }

        juce::File inventoryFile() const
        {
            return test.settings.getMachineFile (SettingsStore::inventorySuffix);
        }

        ScanUpload::Result upload()
        {
            const ConnectionCheck connection (test.service, test.desktop);
            return ScanUpload::run (test.settings, test.service, connection, inventoryFile(), {});
        }

        TestContext test;
        std::unique_ptr<ServiceProcess> service;
    };
}

TEST_F (ServiceIntegration, RegisterViewAndEditAnAccount)
{
    const auto password = juce::String::fromUTF8 ("S3cret pass&#\xc3\xa9");
    EXPECT_EQ (registerAccount ("ada@example.com", password), ReplyKind::success);
    EXPECT_EQ (registerAccount ("ADA@Example.com", password), ReplyKind::errors);

    const auto profile = send (ViewProfileRequest { "ada@example.com", password });
    ASSERT_NE (profile, nullptr);
    EXPECT_EQ (getAttributeIgnoringCase (*profile, "FirstName"), juce::String ("Ada"));
    EXPECT_EQ (getAttributeIgnoringCase (*profile, "LastName"), juce::String ("Lovelace"));
    EXPECT_EQ (getAttributeIgnoringCase (*profile, "IsDeveloper"), juce::String ("0"));
    const auto userId = getAttributeIgnoringCase (*profile, "UserId");
    EXPECT_TRUE (userId.isNotEmpty());

    EXPECT_EQ (kindOfReply (ViewProfileRequest { "ada@example.com", "Wrong pass1!" }), ReplyKind::errors);

    EditProfileRequest edit;
    edit.oldEmail = "ada@example.com";
    edit.email = "countess@example.com";
    edit.password = password;
    edit.firstName = "Augusta";
    edit.lastName = "King";
    edit.isDeveloper = true;
    edit.userId = userId;
    EXPECT_EQ (kindOfReply (edit), ReplyKind::success);

    const auto edited = send (ViewProfileRequest { "countess@example.com", password });
    ASSERT_NE (edited, nullptr);
    EXPECT_EQ (getAttributeIgnoringCase (*edited, "FirstName"), juce::String ("Augusta"));
    EXPECT_EQ (getAttributeIgnoringCase (*edited, "IsDeveloper"), juce::String ("1"));
}

TEST_F (ServiceIntegration, ForgottenPasswordResetWithTheMailedCode)
{
    ASSERT_EQ (registerAccount ("bob@example.com", "0ld Pass!"), ReplyKind::success);

    EXPECT_EQ (kindOfReply (ForgotPasswordRequest { "bob@example.com" }), ReplyKind::success);
    const auto code = newestResetCode (test.temp["outbox"]);
    ASSERT_TRUE (code.isNotEmpty());

    EXPECT_EQ (kindOfReply (ResetPasswordRequest { "bob@example.com", "N3w Pass!", code }), ReplyKind::success);
    EXPECT_EQ (kindOfReply (ResetPasswordRequest { "bob@example.com", "N3w Pass!!", code }),
               ReplyKind::errors);   // used once only
    EXPECT_NE (send (ViewProfileRequest { "bob@example.com", "N3w Pass!" }), nullptr);
    EXPECT_EQ (kindOfReply (ViewProfileRequest { "bob@example.com", "0ld Pass!" }), ReplyKind::errors);
}

TEST_F (ServiceIntegration, AScanOfTheFixturePluginsComesBackWithTheirUpdates)
{
    const auto password = juce::String ("Scan Pass1!");
    ASSERT_EQ (registerAccount ("scan@example.com", password), ReplyKind::success);
    writeTestProfile (test.settings, "Studio", "scan@example.com", password);

    const auto root = makeMachineProfile ("Studio", MachineFacts::gather (test.clock));
    InventoryWalk walk (test.settings, { fixtures.getChildFile ("plugins/walk").getFullPathName() }, { "VST" },
                        inventoryFile());
    walk.run (*root, { [] { return false; }, [] (const juce::String&) {}, [] (double) {} });

    const auto result = upload();
    ASSERT_EQ (result.outcome, ScanUpload::Outcome::stored);
    ASSERT_EQ (classifyReply (result.reply.get()).kind, ReplyKind::other);

    std::map<juce::String, const juce::XmlElement*> updates;
    for (auto* row : result.reply->getChildIterator())
        updates[row->getStringAttribute ("Name")] = row;

    ASSERT_EQ (updates.count ("Walk X"), 1u);
    EXPECT_EQ (updates["Walk X"]->getStringAttribute ("Vendor"), juce::String ("Walk Vendor"));
    EXPECT_EQ (updates["Walk X"]->getStringAttribute ("Format"), juce::String ("VST"));
    EXPECT_EQ (updates["Walk X"]->getStringAttribute ("InstalledVersion"), juce::String ("1.0"));
    EXPECT_EQ (updates["Walk X"]->getStringAttribute ("CurrentVersion"), juce::String ("1.1"));
    EXPECT_TRUE (updates["Walk X"]->getStringAttribute ("Website").startsWith ("https://"));
    EXPECT_EQ (updates.count ("Walk Z"), 0u);   // nothing newer known

    EXPECT_TRUE (juce::parseXML (result.updateListFile)->isEquivalentTo (result.reply.get(), false));
}

TEST_F (ServiceIntegration, AScanWithAWrongPasswordStoresAndReportsTheError)
{
    ASSERT_EQ (registerAccount ("eve@example.com", "Right Pass1!"), ReplyKind::success);
    writeTestProfile (test.settings, "Studio", "eve@example.com", "Wrong Pass1!");
    SettingsStore::writeDocument (*makeMachineProfile ("Studio", MachineFacts::gather (test.clock)), inventoryFile());

    const auto result = upload();
    ASSERT_EQ (result.outcome, ScanUpload::Outcome::stored);

    const auto outcome = classifyReply (result.reply.get());
    EXPECT_EQ (outcome.kind, ReplyKind::errors);
    EXPECT_TRUE (outcome.title.isNotEmpty());
    EXPECT_TRUE (result.updateListFile.existsAsFile());
}

TEST_F (ServiceIntegration, TheVersionCheckAnswersVersionOnlyForOlderApplications)
{
    const auto older = postForm (test.service, ServiceEndpoint::checkAppVersionPath,
                                 { { "user_version", "1.04" }, { "user_platform_id", "2" } });
    ASSERT_NE (older, nullptr);
    EXPECT_EQ (older->getTagName(), juce::String ("Version"));
    EXPECT_EQ (older->getStringAttribute ("VersionTitle"), juce::String ("Cobaltline 1.0.5"));
    EXPECT_EQ (older->getStringAttribute ("VersionURL"), juce::String ("https://example.com/download"));

    const auto current = postForm (test.service, ServiceEndpoint::checkAppVersionPath,
                                   { { "user_version", "1.05" }, { "user_platform_id", "2" } });
    ASSERT_NE (current, nullptr);
    EXPECT_NE (current->getTagName(), juce::String ("Version"));
}
