#pragma once

#include "domain/Accounts.h"
#include "domain/ScanHandler.h"
#include "domain/VersionCheck.h"
#include "store/ConnectionPool.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class ConnectionGate;

namespace httplib
{
    class Server;
    class Stream;
}

/**
    The HTTP side of the service: the four paths the application uses, body
    limits, and the mapping of every failure to a reply the application can
    read. Every reply document is an outcome written by ReplyRenderer.

    GET /health is for load balancers: 200 "ok" when a new connection to
    the database answers, else 503 with a short reason; it needs no
    account, counts towards no limit of the accounts and tells nothing
    else. Every request answered, by a route or refused by the gate, gets
    one line in the request log (see RequestLog.h).

    Requests are gathered in front of the workers by a ConnectionGate:
    one thread accepts connections and reads every request without
    blocking, and only a complete request takes a worker, which answers it
    through httplib's routing and closes the connection. A large scan
    upload is checked against the account as soon as its file begins (see
    MultipartLookAhead).

    Construct, bind(), then run() on one thread; stop() may be called from
    any other thread and makes run() return.
*/
class Server
{
public:
    struct Settings
    {
        std::string host = "127.0.0.1";
        int port = 8750;
        std::string tlsCertificate, tlsKey;   ///< both empty: plain HTTP
        std::size_t threads = 8;              ///< workers answering complete requests
        int backlog = 512;                    ///< connections the kernel queues before accept
        std::size_t maxConnections = 1024;    ///< connections being read at once; the oldest yields
        int requestTimeoutSeconds = 60;       ///< from accept to the last byte of the request
        std::size_t maxBufferedBytes = 512u * 1024u * 1024u;   ///< request bodies held at once
        std::size_t maxInventoryBytes = 128u * 1024u * 1024u;
        std::size_t maxFormBytes = 64u * 1024u;
        bool logRequests = true;
        /** Behind a reverse proxy every connection comes from the proxy:
            then a request from a loopback address is counted as coming
            from the address its X-Real-IP header names, so that the
            limits per client address still tell clients apart. */
        bool trustProxy = false;
    };

    /** The handlers and the store are not owned; they must outlive the
        server. The store is asked only for the health check. */
    Server (Settings settings, Accounts& accounts, ScanHandler& scans, const VersionCheck& versions,
            const ConnectionPool& store);
    ~Server();

    Server (const Server&) = delete;
    Server& operator= (const Server&) = delete;

    /** Opens the listening socket and returns the port, or -1 with
        `error` set. */
    int bind (std::string& error);

    /** Serves until stop(). */
    void run();

    void stop();

    /** The largest request body accepted for a method on a path, or
        nothing for a method the service does not serve. */
    std::optional<std::size_t> bodyLimitFor (const std::string& method, const std::string& path) const;

private:
    void addRoutes();

    const Settings settings;
    Accounts& accounts;
    ScanHandler& scans;
    const VersionCheck& versions;
    const ConnectionPool& store;
    std::atomic<bool> storeAnswered { true };   ///< at the last health check; a change to failing is logged
    std::unique_ptr<httplib::Server> http;
    std::function<void (httplib::Stream&)> serveStream;

    std::unique_ptr<ConnectionGate> gate;
};
