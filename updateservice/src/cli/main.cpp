#include "cli/CommandLine.h"
#include "base/ServiceSecret.h"
#include "domain/CredentialCache.h"
#include "domain/QueuedMail.h"
#include "mail/SmtpRelay.h"
#include "store/OutgoingMail.h"
#include "domain/Accounts.h"
#include "domain/ScanHandler.h"
#include "domain/VersionCheck.h"
#include "http/Server.h"
#include "mail/MailQueue.h"
#include "mail/Outbox.h"
#include "store/AccountStore.h"
#include "store/Catalog.h"
#include "store/ConnectionPool.h"
#include "store/Database.h"
#include "store/InventoryStore.h"
#include "store/Migration.h"
#include "store/Schema.h"

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

namespace
{
    constexpr const char* programName = "cobaltline-service";
    constexpr std::uintmax_t maxCatalogBytes = 64u * 1024u * 1024u;

    std::int64_t secondsNow()
    {
        return static_cast<std::int64_t> (std::time (nullptr));
    }

    void makeParentFolder (const std::string& file)
    {
        if (Database::kindOf (file) != Database::Kind::sqlite)
            return;

        const auto parent = std::filesystem::path (file).parent_path();

        if (! parent.empty())
        {
            std::error_code ignored;
            std::filesystem::create_directories (parent, ignored);
        }
    }

    // A password kept in a file of its own, without its line end.
    std::string readSecretText (const std::string& file)
    {
        if (file.empty())
            return {};

        std::ifstream in (file, std::ios::binary);
        std::string text;

        if (! in || ! std::getline (in, text))
            throw std::runtime_error ("cannot read the password file " + file);

        if (! text.empty() && text.back() == '\r')
            text.pop_back();

        return text;
    }

    int importCatalog (const CommandLine::Options& options)
    {
        std::error_code error;
        const auto size = std::filesystem::file_size (options.catalogFile, error);

        if (error)
        {
            std::cerr << programName << ": cannot read " << options.catalogFile << ": " << error.message() << "\n";
            return 1;
        }

        if (size > maxCatalogBytes)
        {
            std::cerr << programName << ": " << options.catalogFile << " is larger than 64 MiB\n";
            return 1;
        }

        std::ifstream in (options.catalogFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();

        if (! in.good() && ! in.eof())
        {
            std::cerr << programName << ": cannot read " << options.catalogFile << "\n";
            return 1;
        }

        makeParentFolder (options.databasePath);
        Database db (options.databasePath);

        for (const auto& note : Schema::bringUpToDate (db))
            std::cerr << programName << ": " << note << "\n";

        const auto result = Catalog::importCsv (db, text.str());

        if (! result.ok)
        {
            std::cerr << programName << ": " << options.catalogFile << ": " << result.error
                      << "\nNothing was imported.\n";
            return 1;
        }

        std::cout << "Imported " << result.rows << " catalog rows into " << Database::withoutPassword (options.databasePath) << "\n";
        return 0;
    }

    int migrate (const CommandLine::Options& options)
    {
        if (! std::filesystem::is_regular_file (options.databasePath))
        {
            std::cerr << programName << ": " << options.databasePath << " is not a SQLite database file\n";
            return 1;
        }

        Database from (options.databasePath);
        Database to (options.migrateTo);
        std::vector<std::string> notes;
        const auto copied = Migration::copy (from, to, notes);

        for (const auto& note : notes)
            std::cerr << programName << ": " << note << "\n";

        for (const auto& [table, rows] : copied)
            std::cout << "Copied " << rows << " rows of " << table << "\n";

        std::cout << "Copied " << options.databasePath << " into " << to.path() << "\n";
        return 0;
    }

    // Each connection being received holds a descriptor; the usual soft
    // limit of 1024 would stop accepting before --max-connections.
    void allowOpenFiles (std::size_t wanted)
    {
        rlimit limit {};

        if (getrlimit (RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted)
            return;

        limit.rlim_cur = std::min<rlim_t> (limit.rlim_max, wanted);
        setrlimit (RLIMIT_NOFILE, &limit);
    }

    int serve (const CommandLine::Options& options)
    {
        // Signals are taken by one thread with sigwait, so they must be
        // blocked before any other thread starts.
        sigset_t stopSignals;
        sigemptyset (&stopSignals);
        sigaddset (&stopSignals, SIGINT);
        sigaddset (&stopSignals, SIGTERM);
        pthread_sigmask (SIG_BLOCK, &stopSignals, nullptr);
        signal (SIGPIPE, SIG_IGN);

        makeParentFolder (options.databasePath);
        allowOpenFiles (options.maxConnections + options.threads + 64);

        {
            Database db (options.databasePath);

            for (const auto& note : Schema::bringUpToDate (db))
                std::cerr << programName << ": " << note << std::endl;
        }

        ConnectionPool pool (options.databasePath);
        AccountStore accountStore (pool);
        InventoryStore inventoryStore (pool);
        const PasswordHasher hasher (options.argon2, options.maxHashesAtOnce);
        const auto secret = ServiceSecret::loadOrCreate (options.secretFile);
        CredentialCache verifiedLogins (secret, options.loginMemorySeconds);

        // Mail goes to the outbox folder, or through the queue to a relay.
        std::optional<Outbox> outbox;
        std::optional<SmtpRelay> relay;
        OutgoingMail outgoing (pool);
        std::unique_ptr<QueuedMail> queuedMail;
        std::unique_ptr<MailSender> mailSender;
        MailSink* mail = nullptr;

        if (options.smtpUrl.empty())
        {
            outbox.emplace (options.mail());
            mail = &*outbox;
        }
        else
        {
            relay.emplace (SmtpRelay::Settings { options.smtpUrl, options.smtpUser, readSecretText (options.smtpPasswordFile),
                                                 SmtpRelay::addressOf (options.mailFrom) });
            queuedMail = std::make_unique<QueuedMail> (outgoing, secret, QueuedMail::Settings { options.mailFrom },
                                                       [&mailSender] { if (mailSender != nullptr) mailSender->wake(); });
            MailSender::Settings sending;
            sending.retrySeconds = options.mailRetrySeconds;
            mailSender = std::make_unique<MailSender> (outgoing, *queuedMail,
                                                       [&relay] (std::string_view to, std::string_view text) { relay->send (to, text); },
                                                       sending, secondsNow,
                                                       [] (const std::string& what) { std::cerr << "error: mail: " << what << std::endl; });
            mail = queuedMail.get();
        }

        Accounts accounts (accountStore, hasher, *mail, options.accounts(), secondsNow,
                           options.loginMemorySeconds > 0 ? &verifiedLogins : nullptr);

        // Reset codes and confirmation links are issued and mailed a little
        // after the reply, so that its time does not tell which addresses
        // have accounts.
        // Declared after the accounts, so it finishes its work before they
        // go.
        MailQueue mailQueue ([] (const std::string& what)
        {
            std::cerr << "error: POST /authentication/index.php: " << what << std::endl;
        }, std::chrono::milliseconds (50));
        accounts.deferMailWith ([&mailQueue] (std::function<void()> task) { mailQueue.post (std::move (task)); });

        ScanHandler scans (inventoryStore, accounts, options.scans(), secondsNow);
        const VersionCheck versions (options.versions());

        Server server (options.http(), accounts, scans, versions, pool);
        std::string error;
        const auto port = server.bind (error);

        if (port < 0)
        {
            std::cerr << programName << ": " << error << "\n";
            return 1;
        }

        const auto listenUrl = std::string (options.tlsCertificate.empty() ? "http://" : "https://")
                             + CommandLine::hostForUrl (options.host) + ":" + std::to_string (port);
        accounts.useLinksTo (options.publicUrl.empty() ? listenUrl : options.publicUrl);
        std::cout << programName << " listening on " << listenUrl << std::endl;

        std::atomic<bool> stopping { false };
        std::atomic<bool> finished { false };

        std::thread signalWatcher ([&server, &stopSignals, &stopping, &finished]
        {
            int received = 0;
            sigwait (&stopSignals, &received);

            if (! stopping.exchange (true))
                std::cerr << programName << ": stopping on signal " << received << std::endl;

            // A signal that comes before the server has started its loop
            // would find nothing to stop, so keep asking until it has ended.
            while (! finished)
            {
                server.stop();
                std::this_thread::sleep_for (std::chrono::milliseconds (20));
            }
        });

        server.run();
        finished = true;

        // run() can also end without a signal (a failing socket); wake the
        // watcher so it can be joined.
        if (! stopping.exchange (true))
            pthread_kill (signalWatcher.native_handle(), SIGTERM);

        signalWatcher.join();
        return 0;
    }
}

int main (int argc, char* argv[])
{
    const std::vector<std::string> arguments (argv + 1, argv + argc);
    const auto parsed = CommandLine::parse (arguments);

    if (! parsed.ok)
    {
        std::cerr << programName << ": " << parsed.error << "\n";
        return 2;
    }

    try
    {
        switch (parsed.options.command)
        {
            case CommandLine::Command::help:
                std::cout << CommandLine::usage();
                return 0;

            case CommandLine::Command::importCatalog:
                return importCatalog (parsed.options);

            case CommandLine::Command::migrate:
                return migrate (parsed.options);

            case CommandLine::Command::serve:
                return serve (parsed.options);
        }
    }
    catch (const std::exception& e)
    {
        std::cerr << programName << ": " << e.what() << "\n";
        return 1;
    }

    return 1;
}
