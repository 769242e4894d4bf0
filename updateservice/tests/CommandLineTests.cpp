#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include <ostream>

namespace
{
    CommandLine::Result parse (std::vector<std::string> arguments)
    {
        return CommandLine::parse (arguments);
    }

    TEST (CommandLine, ServeWithDefaultsAndPortZero)
    {
        auto result = parse ({ "serve", "--db", "x.db", "--outbox", "out" });
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.options.host, "127.0.0.1");
        EXPECT_EQ (result.options.port, 8750);
        EXPECT_EQ (result.options.argon2, PasswordHasher::Strength::interactive);
        EXPECT_EQ (result.options.maxFailedLogins, 5);

        result = parse ({ "serve", "--listen", "[::1]:0", "--db", "x.db", "--outbox", "out", "--argon2", "fast" });
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.options.host, "::1");
        EXPECT_EQ (result.options.port, 0);
        EXPECT_EQ (CommandLine::hostForUrl (result.options.host), "[::1]");
    }

    TEST (CommandLine, MigrateCopiesFromAFileIntoPostgreSQLOnly)
    {
        auto result = parse ({ "migrate", "--db", "service.db", "--to", "postgresql://svc@db/store" });
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.options.command, CommandLine::Command::migrate);
        EXPECT_EQ (result.options.migrateTo, "postgresql://svc@db/store");

        EXPECT_FALSE (parse ({ "migrate", "--db", "service.db", "--to", "other.db" }).ok);
        EXPECT_FALSE (parse ({ "migrate", "--db", "postgresql://a/b", "--to", "postgresql://svc@db/store" }).ok);
        EXPECT_FALSE (parse ({ "migrate", "--db", "service.db" }).ok);
        EXPECT_FALSE (parse ({ "migrate", "--db", "service.db", "--to", "postgresql://db/s", "extra" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "out", "--to", "postgresql://db/s" }).ok);

        // serve and import-catalog take either kind of store.
        EXPECT_TRUE (parse ({ "serve", "--db", "postgresql://svc@db/store", "--outbox", "out", "--secret-file", "s" }).ok);
    }

    struct LoopbackCase
    {
        const char* listenHost;
        const char* bareHost;
        bool loopback;
    };

    void PrintTo (const LoopbackCase& c, std::ostream* out)
    {
        *out << "\"" << c.listenHost << "\"";
    }

    class Loopback : public ::testing::TestWithParam<LoopbackCase> {};

    TEST_P (Loopback, PlainHttpOnlyOnLoopback)
    {
        const auto& c = GetParam();
        const auto result = parse ({ "serve", "--listen", std::string (c.listenHost) + ":8750",
                                     "--db", "x.db", "--outbox", "out" });
        EXPECT_EQ (result.ok, c.loopback) << result.error;
        EXPECT_EQ (CommandLine::isLoopbackHost (c.bareHost), c.loopback);
    }

    INSTANTIATE_TEST_SUITE_P (Table, Loopback, ::testing::Values (
        LoopbackCase { "127.0.0.1", "127.0.0.1", true },
        LoopbackCase { "127.45.6.7", "127.45.6.7", true },
        LoopbackCase { "localhost", "localhost", true },
        LoopbackCase { "[::1]", "::1", true },
        LoopbackCase { "0.0.0.0", "0.0.0.0", false },
        LoopbackCase { "192.168.1.5", "192.168.1.5", false },
        LoopbackCase { "[::]", "::", false },
        LoopbackCase { "128.0.0.1", "128.0.0.1", false },
        LoopbackCase { "example.com", "example.com", false }));

    TEST (CommandLine, TlsAllowsOtherAddresses)
    {
        const auto result = parse ({ "serve", "--listen", "0.0.0.0:443", "--db", "x.db", "--outbox", "out",
                                     "--tls-cert", "c.pem", "--tls-key", "k.pem",
                                     "--public-url", "https://updates.example.com/" });
        EXPECT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.options.publicUrl, "https://updates.example.com");
    }

    // Links in mail must lead where people reach the service: the listen
    // address will do only on loopback without a proxy in front.
    TEST (CommandLine, ThePublicAddressIsNeededOffLoopbackAndBehindAProxy)
    {
        const std::vector<std::string> base { "serve", "--db", "x.db", "--outbox", "o" };
        const auto with = [&base] (std::vector<std::string> more)
        {
            more.insert (more.begin(), base.begin(), base.end());
            return parse (more);
        };

        EXPECT_TRUE (with ({}).ok);
        EXPECT_EQ (with ({}).options.publicUrl, "");
        EXPECT_FALSE (with ({ "--trust-proxy" }).ok);
        EXPECT_TRUE (with ({ "--trust-proxy", "--public-url", "https://updates.example.com" }).ok);
        EXPECT_FALSE (with ({ "--listen", "0.0.0.0:443", "--tls-cert", "c.pem", "--tls-key", "k.pem" }).ok);
        EXPECT_FALSE (with ({ "--public-url", "updates.example.com" }).ok);
        EXPECT_FALSE (with ({ "--public-url", "https://x.example/?a=\"b\"" }).ok);
    }

    TEST (CommandLine, RefusesWhatItCannotUse)
    {
        EXPECT_FALSE (parse ({}).ok);
        EXPECT_FALSE (parse ({ "launch" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--outbox", "out" }).ok);                        // no --db
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db" }).ok);                           // no --outbox
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--listen", "1.2.3.4" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--listen", "::1:80" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--listen", "127.0.0.1:65536" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--tls-cert", "c.pem" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--argon2", "slow" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--latest-app-version", "1.0.5" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--latest-app-version", "abc",
                               "--latest-app-url", "https://example.com/" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--reset-code-ttl", "-5" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--max-buffered-mib", "128" }).ok);   // no room for one upload
        EXPECT_FALSE (parse ({ "serve", "--db", "x.db", "--outbox", "o", "--request-timeout", "0" }).ok);
        EXPECT_FALSE (parse ({ "serve", "--db" }).ok);
        EXPECT_FALSE (parse ({ "import-catalog", "--db", "x.db" }).ok);
        EXPECT_FALSE (parse ({ "import-catalog", "--db", "x.db", "a.csv", "b.csv" }).ok);
        EXPECT_FALSE (parse ({ "import-catalog", "--db", "x.db", "--outbox", "o", "a.csv" }).ok);
    }

    TEST (CommandLine, HelpAndImport)
    {
        EXPECT_EQ (parse ({ "--help" }).options.command, CommandLine::Command::help);
        EXPECT_EQ (parse ({ "serve", "--help" }).options.command, CommandLine::Command::help);

        const auto result = parse ({ "import-catalog", "--db", "x.db", "cat.csv" });
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.options.command, CommandLine::Command::importCatalog);
        EXPECT_EQ (result.options.catalogFile, "cat.csv");
        EXPECT_NE (CommandLine::usage().find ("--listen HOST:PORT"), std::string::npos);
    }
}
