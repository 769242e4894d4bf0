#pragma once

#include "Accounts.h"
#include "ScanHandler.h"
#include "VersionCheck.h"

#include <cstddef>
#include <memory>
#include <string>

namespace httplib
{
    class Server;
}

/**
    The HTTP side of the service: the four paths the application uses, body
    limits, and the mapping of every failure to a reply the application can
    read. Every reply document is an outcome written by ReplyRenderer.

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
        std::size_t threads = 8;
        std::size_t maxInventoryBytes = 128u * 1024u * 1024u;
        std::size_t maxFormBytes = 64u * 1024u;
        bool logRequests = true;
    };

    /** The handlers are not owned; they must outlive the server. */
    Server (Settings settings, Accounts& accounts, ScanHandler& scans, const VersionCheck& versions);
    ~Server();

    Server (const Server&) = delete;
    Server& operator= (const Server&) = delete;

    /** Opens the listening socket and returns the port, or -1 with
        `error` set. */
    int bind (std::string& error);

    /** Serves until stop(). */
    void run();

    void stop();

    /** The largest request body accepted on a path. */
    std::size_t bodyLimitFor (const std::string& path) const;

private:
    void addRoutes();

    const Settings settings;
    Accounts& accounts;
    ScanHandler& scans;
    const VersionCheck& versions;
    std::unique_ptr<httplib::Server> http;
};
