#include "core/service/AccountRequests.h"
#include "core/service/ServiceReply.h"

#include "../support/LoopbackHttpServer.h"
#include "../support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ServiceRequests;

namespace
{
    struct EncodingCase
    {
        const char* utf8;
        const char* encoded;
    };

    class FormEncodingCases : public ::testing::TestWithParam<EncodingCase> {};

    const EncodingCase encodingCases[] = {
        { "abcXYZ019",          "abcXYZ019" },
        { "_-.*!'()",           "_-.*!'()" },
        { "a b",                "a%20b" },
        { "p#ss&w=rd",          "p%23ss%26w%3drd" },
        { "~+@/:;,?$",          "%7e%2b%40%2f%3a%3b%2c%3f%24" },
        { "\"<>%\\",            "%22%3c%3e%25%5c" },
        { "caf\xc3\xa9",        "caf%c3%a9" },
        { "\xe2\x82\xac",       "%e2%82%ac" },
        { "\r\n\t",             "%0d%0a%09" },
        { "",                   "" },
    };

    LoopbackHttpServer::Response xml (const juce::String& body, int status = 200)
    {
        return LoopbackHttpServer::Response::text (body, status);
    }

    /** A loopback service answering every request with one canned reply. */
    struct CannedService
    {
        explicit CannedService (LoopbackHttpServer::Response response)
            : server ([response] (const auto&) { return response; }),
              endpoint (server.getBaseUrl())
        {
        }

        std::unique_ptr<juce::XmlElement> send (const AccountRequest& request, int timeoutMs = defaultTimeoutMs) const
        {
            return AccountRequests::send (endpoint, request, timeoutMs);
        }

        LoopbackHttpServer server;
        const ServiceEndpoint endpoint;
    };

    const ForgotPasswordRequest forgotPassword { "a@b.c" };
}

TEST_P (FormEncodingCases, EscapesEveryByteButLettersDigitsAndTheUnreservedSet)
{
    EXPECT_EQ (formEncode (juce::String::fromUTF8 (GetParam().utf8)), juce::String (GetParam().encoded));
}

INSTANTIATE_TEST_SUITE_P (Bytes, FormEncodingCases, ::testing::ValuesIn (encodingCases));

TEST (AccountRequests, EachActionSendsItsFieldFirstThenItsFieldsInTheFixedOrder)
{
    CannedService service (xml ("<Success/>"));

    const auto password = juce::String::fromUTF8 ("p w#&_-.*!'()~\xc3\xa9");

    RegisterRequest signUp;
    signUp.email = "a+b@c.de";
    signUp.password = password;
    signUp.firstName = juce::String::fromUTF8 ("J\xc3\xbcrgen");
    signUp.lastName = "O'Neil";
    signUp.isDeveloper = false;

    EditProfileRequest edit;
    edit.oldEmail = "old@b.c";
    edit.email = "new@b.c";
    edit.password = "pw";
    edit.firstName = "A";
    edit.lastName = "B";
    edit.isDeveloper = true;
    edit.userId = "42";

    service.send (signUp);
    service.send (forgotPassword);
    service.send (ResetPasswordRequest { "a@b.c", "New Pass1!", "RC-123" });
    service.send (ViewProfileRequest { "a@b.c", "pw" });
    service.send (edit);

    const juce::StringArray expectedBodies {
        "registerpost=true&email=a%2bb%40c.de&password=p%20w%23%26_-.*!'()%7e%c3%a9&firstname=J%c3%bcrgen"
            "&lastname=O'Neil&isdeveloper=0",
        "forgotpassword=true&email=a%40b.c",
        "resetpassword=true&email=a%40b.c&password=New%20Pass1!&resetcode=RC-123",
        "viewprofile=true&email=a%40b.c&password=pw",
        "editprofile=true&oldemail=old%40b.c&email=new%40b.c&password=pw&firstname=A&lastname=B&isdeveloper=1&userid=42" };

    const auto requests = service.server.getRequests();
    ASSERT_EQ (requests.size(), (size_t) expectedBodies.size());

    for (size_t i = 0; i < requests.size(); ++i)
    {
        const auto& r = requests[i];
        EXPECT_EQ (r.method, juce::String ("POST"));
        EXPECT_EQ (r.path, juce::String ("/authentication/index.php"));
        EXPECT_EQ (r.getBodyText(), expectedBodies[(int) i]);
        EXPECT_EQ (r.getHeader ("content-type"), juce::String ("application/x-www-form-urlencoded"));
        EXPECT_EQ (r.getHeader ("content-length"), juce::String ((int) r.body.getSize()));
        EXPECT_EQ (juce::String (static_cast<const char*> (r.raw.getData()), r.raw.getSize())
                       .toLowerCase().indexOf ("content-type"),
                   juce::String (static_cast<const char*> (r.raw.getData()), r.raw.getSize())
                       .toLowerCase().lastIndexOf ("content-type"));   // just one
    }
}

//==============================================================================
TEST (ServiceReplies, RootTagsAndAttributeNamesMatchInAnyLetterCase)
{
    {
        CannedService service (xml ("<ERRORS errortitle=\"Refused\" ERRORTEXT=\"Try again\"/>"));
        const auto reply = service.send (forgotPassword);
        const auto outcome = classifyReply (reply.get());
        EXPECT_EQ (outcome.kind, ReplyKind::errors);
        EXPECT_EQ (outcome.title, juce::String ("Refused"));
        EXPECT_EQ (outcome.text, juce::String ("Try again"));
    }
    {
        CannedService service (xml ("<?xml version=\"1.0\"?><success SuccessTitle=\"Welcome\" successtext=\"Hi &amp; bye\"/>"));
        const auto outcome = classifyReply (service.send (forgotPassword).get());
        EXPECT_EQ (outcome.kind, ReplyKind::success);
        EXPECT_EQ (outcome.title, juce::String ("Welcome"));
        EXPECT_EQ (outcome.text, juce::String ("Hi & bye"));
    }
}

TEST (ServiceReplies, MissingAttributesReadAsEmptyText)
{
    CannedService service (xml ("<Errors ErrorTitle=\"Only a title\"/>"));
    const auto outcome = classifyReply (service.send (forgotPassword).get());
    EXPECT_EQ (outcome.kind, ReplyKind::errors);
    EXPECT_EQ (outcome.title, juce::String ("Only a title"));
    EXPECT_EQ (outcome.text, juce::String());
}

TEST (ServiceReplies, ErrorsComeBeforeSuccessAndOtherRootsAreNeither)
{
    juce::XmlElement version ("Version");
    version.setAttribute ("VersionTitle", "New");
    EXPECT_EQ (classifyReply (&version).kind, ReplyKind::other);

    juce::XmlElement profile ("Profile");
    EXPECT_EQ (classifyReply (&profile).kind, ReplyKind::other);
    EXPECT_EQ (classifyReply (nullptr).kind, ReplyKind::none);
}

TEST (ServiceReplies, AnHtmlErrorPageIsAReplyThatIsNeitherErrorsNorSuccess)
{
    CannedService service (xml ("<html><body>Bad Gateway</body></html>", 502));
    EXPECT_EQ (classifyReply (service.send (forgotPassword).get()).kind, ReplyKind::other);
}

TEST (ServiceReplies, AnErrorStatusWithAnXmlBodyIsStillTheReply)
{
    CannedService service (xml ("<Errors ErrorTitle=\"Too Large\" ErrorText=\"x\"/>", 413));
    EXPECT_EQ (classifyReply (service.send (forgotPassword).get()).kind, ReplyKind::errors);
}

TEST (ServiceReplies, NonXmlEmptyHostileAndAbsentRepliesGiveNoElement)
{
    for (const auto* body : { "", "502 Bad Gateway", "\x89PNG\r\n\x1a\n", "<Errors ErrorTitle=\"cut off",
                              "<!DOCTYPE r [<!ENTITY a \"&a;&a;\">]><Errors ErrorTitle=\"&a;\"/>" })
    {
        CannedService service (xml (body));
        EXPECT_EQ (service.send (forgotPassword), nullptr) << body;
    }

    LoopbackHttpServer::Response hangUp;
    hangUp.hangUp = true;
    CannedService dropped (hangUp);
    EXPECT_EQ (dropped.send (forgotPassword), nullptr);

    EXPECT_EQ (AccountRequests::send (ServiceEndpoint (LoopbackHttpServer::getUnusedBaseUrl()), forgotPassword), nullptr);
}

TEST (ServiceReplies, ARedirectIsNotFollowedWithThePassword)
{
    LoopbackHttpServer::Response redirect = xml ("<Errors ErrorTitle=\"Moved\"/>", 307);
    redirect.extraHeaders = "Location: /elsewhere/index.php\r\n";
    CannedService service (redirect);

    const auto reply = service.send (ViewProfileRequest { "a@b.c", "secret" });

    ASSERT_EQ (service.server.getRequests().size(), 1u);
    EXPECT_EQ (classifyReply (reply.get()).title, juce::String ("Moved"));
}

TEST (ServiceReplies, AnOversizedReplyIsNotRead)
{
    std::string huge ("<Errors ErrorTitle=\"");
    huge.append (ServiceRequests::maxReplyBytes, 'x');
    huge += "\"/>";
    CannedService service (xml (huge));

    EXPECT_EQ (service.send (forgotPassword), nullptr);
}

TEST (ServiceReplies, AReplyThatNeverComesTimesOut)
{
    SKIP_UNDER_WINE_WHERE_WININET_CANNOT_CANCEL();

    LoopbackHttpServer::Response silence;
    silence.neverAnswer = true;
    CannedService service (silence);

    const auto started = juce::Time::getMillisecondCounter();
    EXPECT_EQ (service.send (forgotPassword, 1000), nullptr);
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 15000u);
}

TEST (ServiceReplies, TheReplyAlertShowsTheServicesWordsWithTheKindsIcon)
{
    const std::vector<AlertRequest> alerts { makeReplyAlert ({ ReplyKind::errors, "Refused", "No" }),
                                             makeReplyAlert ({ ReplyKind::success, "", "Done" }) };

    EXPECT_EQ (alerts[0].icon, AlertIcon::warning);
    EXPECT_EQ (alerts[0].title, juce::String ("Refused"));
    EXPECT_EQ (alerts[1].icon, AlertIcon::info);
    EXPECT_EQ (alerts[1].message, juce::String ("Done"));

    for (const auto& alert : alerts)
    {
        ASSERT_EQ (alert.buttons.size(), 1u);
        EXPECT_EQ (alert.buttons[0].text, juce::String ("OK"));
        EXPECT_EQ (alert.buttons[0].result, 1);
        EXPECT_EQ (alert.buttons[0].key, AlertKey::returnKey);
    }
}
