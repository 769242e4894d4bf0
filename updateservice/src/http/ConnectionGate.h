#pragma once

#include "domain/Accounts.h"
#include "domain/Outcome.h"
#include "http/RequestReader.h"
#include "http/Server.h"

#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

namespace httplib
{
    class Stream;
}

/**
    The front of the server: accepts connections and gathers each request
    without blocking, then hands complete requests to the workers.

    One thread (the one in run()) accepts connections and reads every
    request (TLS handshake, headers and body) under the limits of
    RequestReader, a memory budget for the bodies it holds and a deadline
    for the whole request from accept. Only a complete request takes a
    worker, which answers it through `serve` and closes the connection. A
    client that sends slowly therefore costs a connection slot until its
    deadline, not a worker. With every slot taken, the connection that has
    been reading longest gives way.

    A large scan upload whose e-mail and password parts come before the
    file (see MultipartLookAhead) is checked against the account on a
    worker as soon as the file begins, and refused before the rest is read
    when the log-in fails.

    A refused request is answered with a closing reply whose document is
    an outcome written by ReplyRenderer; the rest of a refused plain-HTTP
    request is read and dropped for a little while, so that the client
    sees the reply.

    Every request answered, by a worker or refused here, gets one line in
    the request log once its reply is sent (see RequestLog.h): the status
    and size are taken from what was written to the connection.

    bind(), then run() on one thread; stop() may be called from any other
    thread and makes run() return.
*/
class ConnectionGate
{
public:
    /** Answers one complete request read into memory. */
    using Serve = std::function<void (httplib::Stream&)>;

    /** The settings and accounts are not owned; they must outlive the gate. */
    ConnectionGate (const Server::Settings& serverSettings, Accounts& accountHandler,
                    RequestReader::BodyLimit bodyLimitFor, Serve serveRequest)
        : settings (serverSettings), accounts (accountHandler),
          bodyLimit (std::move (bodyLimitFor)), serve (std::move (serveRequest))
    {
    }

    ~ConnectionGate();

    ConnectionGate (const ConnectionGate&) = delete;
    ConnectionGate& operator= (const ConnectionGate&) = delete;

    /** Returns the port, or -1 with `error` set. */
    int bind (std::string& error);

    /** Serves until stop(); the workers run meanwhile. */
    void run();

    void stop()
    {
        stopping = true;
        wake();
    }

    /** Set for HTTPS; not owned. */
    SSL_CTX* tls = nullptr;

private:
    using Clock = std::chrono::steady_clock;

    struct SslFree
    {
        void operator() (SSL* ssl) const noexcept { SSL_free (ssl); }
    };

    using SslPointer = std::unique_ptr<SSL, SslFree>;

    enum class Check
    {
        notYet,     ///< a large upload whose log-in parts may still come
        checking,   ///< a worker checks the log-in; the connection is not read meanwhile
        done        ///< passed, or not applicable
    };

    struct Connection
    {
        std::uint64_t id = 0;
        int fd = -1;
        SslPointer ssl;
        bool handshaken = false;
        bool wantsWrite = false;
        Clock::time_point accepted, deadline;
        std::unique_ptr<RequestReader> reader;
        std::size_t reserved = 0;   ///< bytes of the memory budget held
        Check check = Check::notYet;
        std::string address;
        int port = 0;
        bool draining = false;      ///< refused; the rest of the request is read and dropped
        std::size_t drained = 0;
    };

    struct CheckResult
    {
        std::uint64_t id = 0;
        std::optional<Outcome> refusal;   ///< nothing: the log-in passed
    };

    void wake()
    {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write (wakeWrite, &byte, 1);
    }

    bool reserve (std::size_t bytes)
    {
        auto held = buffered.load();

        do
        {
            if (bytes > settings.maxBufferedBytes || held > settings.maxBufferedBytes - bytes)
                return false;
        }
        while (! buffered.compare_exchange_weak (held, held + bytes));

        return true;
    }

    void release (std::size_t bytes) { buffered -= bytes; }

    void enqueue (std::function<void()> job)
    {
        {
            const std::lock_guard<std::mutex> guard (jobsLock);
            jobs.push_back (std::move (job));
        }

        jobsReady.notify_one();
    }

    void work()
    {
        for (;;)
        {
            std::function<void()> job;

            {
                std::unique_lock<std::mutex> guard (jobsLock);
                jobsReady.wait (guard, [this] { return workersStop || ! jobs.empty(); });

                if (jobs.empty())
                    return;

                job = std::move (jobs.front());
                jobs.pop_front();
            }

            job();
        }
    }

    void acceptAll (Clock::time_point now);
    void evictOldest();
    void service (Connection& connection);
    bool onBytes (Connection& connection, std::string_view bytes);
    void startCheck (Connection& connection);
    void takeCheckResults();
    void handOver (Connection& connection);
    void refuse (Connection& connection, int status, const Outcome& outcome);
    void drain (Connection& connection);
    void close (Connection& connection);
    /** One line of the request log (when it is on); from any thread. */
    void log (const std::string& method, const std::string& path, const std::string& client,
              Clock::time_point accepted, int status, std::size_t sent) const;

    const Server::Settings& settings;
    Accounts& accounts;
    const RequestReader::BodyLimit bodyLimit;
    const Serve serve;
    int listenFd = -1, wakeRead = -1, wakeWrite = -1;
    std::atomic<bool> stopping { false };
    std::atomic<std::size_t> buffered { 0 };
    std::atomic<std::size_t> handedOver { 0 };   ///< complete requests not yet answered
    Clock::time_point acceptPausedUntil {};

    static constexpr auto drainTime = std::chrono::seconds (2);
    static constexpr std::size_t maxDrainBytes = 32u * 1024u * 1024u;

    std::map<std::uint64_t, std::unique_ptr<Connection>> connections;
    std::uint64_t nextId = 1;
    std::vector<char> readBuffer = std::vector<char> (64u * 1024u);

    std::mutex jobsLock;
    std::condition_variable jobsReady;
    std::deque<std::function<void()>> jobs;
    bool workersStop = false;

    std::mutex resultsLock;
    std::vector<CheckResult> results;
};
