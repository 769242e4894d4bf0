#include "core/service/ConnectionCheck.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    LoopbackHttpServer::Response page (int status)
    {
        return LoopbackHttpServer::Response::text ("<html><body>ok</body></html>", status, "text/html");
    }
}

TEST (ConnectionCheck, ReachableServiceAnswersTrueWithoutAnyAlert)
{
    LoopbackHttpServer server ([] (const auto&) { return page (200); });
    TestContext test (server.getBaseUrl());
    const ConnectionCheck connection (test.service, test.desktop);

    EXPECT_TRUE (connection.check (true));
    EXPECT_TRUE (connection.check (false));
    EXPECT_TRUE (test.desktop.getAlerts().empty());

    const auto requests = server.getRequests();
    ASSERT_EQ (requests.size(), 2u);

    for (const auto& r : requests)
    {
        EXPECT_EQ (r.method, juce::String ("GET"));
        EXPECT_EQ (r.path, juce::String ("/checkconnect/index.html"));
        EXPECT_TRUE (r.body.isEmpty());
    }
}

TEST (ConnectionCheck, QuietCheckOfAnUnreachableServiceShowsNothing)
{
    TestContext test;
    const ConnectionCheck connection (test.service, test.desktop);

    EXPECT_FALSE (connection.check (true));
    EXPECT_TRUE (test.desktop.getAlerts().empty());
}

TEST (ConnectionCheck, AlertingCheckOfAnUnreachableServiceShowsExactlyOneAlert)
{
    TestContext test;
    const ConnectionCheck connection (test.service, test.desktop);

    EXPECT_FALSE (connection.check (false));

    const auto alerts = test.desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, juce::String ("No Internet Connection"));
    EXPECT_EQ (alerts[0].message, juce::String ("You are not connected to the Internet. Cobaltline will not be able "
                                                "to scan for updates, or perform other online tasks."));
    EXPECT_EQ (alerts[0].icon, AlertIcon::info);
    ASSERT_EQ (alerts[0].buttons.size(), 1u);
    EXPECT_EQ (alerts[0].buttons[0].text, juce::String ("OK"));
    EXPECT_EQ (alerts[0].buttons[0].result, 1);
    EXPECT_EQ (alerts[0].buttons[0].key, AlertKey::returnKey);
}

TEST (ConnectionCheck, AnyPageThatOpensCountsEvenAnErrorPage)
{
    LoopbackHttpServer server ([] (const auto&) { return page (500); });
    TestContext test (server.getBaseUrl());
    const ConnectionCheck connection (test.service, test.desktop);

    EXPECT_TRUE (connection.check (false));
    EXPECT_TRUE (test.desktop.getAlerts().empty());
}

TEST (ConnectionCheck, AServerThatHangsUpIsNoConnection)
{
    if (isRunningUnderWine())
        GTEST_SKIP() << "Wine's WinINet takes a server that hangs up without a word for one that answered";

    LoopbackHttpServer server ([] (const auto&)
    {
        LoopbackHttpServer::Response r;
        r.hangUp = true;
        return r;
    });
    TestContext test (server.getBaseUrl());
    const ConnectionCheck connection (test.service, test.desktop);

    EXPECT_FALSE (connection.check (true));
}
