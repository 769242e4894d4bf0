#include "Server.h"

#include "FormDecoding.h"
#include "ReplyRenderer.h"
#include "RequestReader.h"

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
    // httplib answers a request that has been read whole already; every
    // connection serves one request and is closed after the reply.
    template <typename Base>
    class Engine : public Base
    {
    public:
        using Base::Base;

        void serve (httplib::Stream& stream)
        {
            bool closed = false;
            this->process_request (stream, true, closed, [] (httplib::Request&) {});
        }
    };

    using PlainEngine = Engine<httplib::Server>;
    using SecureEngine = Engine<httplib::SSLServer>;

    struct SslFree
    {
        void operator() (SSL* ssl) const noexcept { SSL_free (ssl); }
    };

    using SslPointer = std::unique_ptr<SSL, SslFree>;

    using Clock = std::chrono::steady_clock;

    constexpr const char* scanPath = "/scan/index.php";

    constexpr const char* xmlType = "text/xml; charset=UTF-8";

    std::string htmlPage (const std::string& title, const std::string& paragraph)
    {
        return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head>\n"
               "<body><p>" + paragraph + "</p></body></html>\n";
    }

    std::string escapeHtml (const std::string& text)
    {
        std::string out;

        for (const auto c : text)
        {
            switch (c)
            {
                case '&': out += "&amp;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                case '"': out += "&quot;"; break;
                default: out += c;
            }
        }

        return out;
    }

    const std::string checkConnectPage = htmlPage ("Cobaltline", "The Cobaltline update service is reachable.");

    // The stand-in's answers to the two pages the application links to, so
    // that no link of a development build points at a host that does not exist.
    const std::string reportPage = htmlPage ("Cobaltline - Report Issues",
        "This is the stand-in for the page where Cobaltline users report problems.");
    const std::string sponsorPage = htmlPage ("Harbor Audio Supply",
        "This is the stand-in for the sponsor's shop: 10% off plug-in bundles for Cobaltline users.");

    std::mutex logLock;

    void logLine (const std::string& line)
    {
        const std::lock_guard<std::mutex> guard (logLock);
        std::cerr << line << std::endl;
    }

    void failureLine (const httplib::Request& request, const std::string& what)
    {
        logLine ("error: " + request.method + " " + request.path + ": " + what);
    }

    void replyXml (httplib::Response& response, const Outcome& outcome, int status = 200)
    {
        response.status = status;
        response.set_content (ReplyRenderer::render (outcome), xmlType);
    }

    // Answers with an outcome, and logs what went wrong behind it without
    // telling the client.
    void replyXml (const httplib::Request& request, httplib::Response& response, const Outcome& outcome)
    {
        if (! outcome.unreportedFailure.empty())
            failureLine (request, outcome.unreportedFailure);

        replyXml (response, outcome);
    }

    Outcome serviceError()
    {
        return Outcome::errors ("Service Error",
                                "The service could not complete the request. Please try again later.");
    }

    std::string asciiLower (std::string text)
    {
        for (auto& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char> (c - 'A' + 'a');

        return text;
    }

    std::string trimmed (const std::string& text)
    {
        const auto first = text.find_first_not_of (" \t");
        const auto last = text.find_last_not_of (" \t");
        return first == std::string::npos ? std::string {} : text.substr (first, last - first + 1);
    }

    // The media type of a Content-Type value, without parameters, in lower case.
    std::string mediaType (const std::string& contentType)
    {
        return asciiLower (trimmed (contentType.substr (0, contentType.find (';'))));
    }

    constexpr const char* formType = "application/x-www-form-urlencoded";

    Outcome unsupportedType()
    {
        return Outcome::errors ("Unsupported Request",
                                "The form must be sent as application/x-www-form-urlencoded.");
    }

    std::string statusText (int status)
    {
        switch (status)
        {
            case 200: return "OK";
            case 400: return "Bad Request";
            case 405: return "Method Not Allowed";
            case 408: return "Request Timeout";
            case 411: return "Length Required";
            case 413: return "Payload Too Large";
            case 414: return "URI Too Long";
            case 431: return "Request Header Fields Too Large";
            case 501: return "Not Implemented";
            case 503: return "Service Unavailable";
            case 505: return "HTTP Version Not Supported";
            default: return "Error";
        }
    }

    std::string refusalTitle (int status)
    {
        switch (status)
        {
            case 405: return "Method Not Allowed";
            case 408: return "Request Timeout";
            case 411: return "Length Required";
            case 413: return "Request Too Large";
            case 414:
            case 431: return "Request Headers Too Large";
            case 503: return "Service Busy";
            default: return "Bad Request";
        }
    }

    Outcome busy()
    {
        return Outcome::errors (refusalTitle (503), "The service is busy. Please try again later.");
    }

    // A whole reply to a request the front refuses or ends; the
    // connection is closed after it.
    std::string closingReply (int status, const Outcome& outcome)
    {
        const auto document = ReplyRenderer::render (outcome);
        std::string reply = "HTTP/1.1 " + std::to_string (status) + " " + statusText (status) + "\r\n"
                            "Content-Type: " + std::string (xmlType) + "\r\n"
                            "Content-Length: " + std::to_string (document.size()) + "\r\n"
                            "Connection: close\r\n";

        if (status == 405)
            reply += "Allow: GET, POST\r\n";

        if (status == 503)
            reply += "Retry-After: 5\r\n";

        return reply + "\r\n" + document;
    }

    // The boundary parameter of a multipart/form-data Content-Type, or "".
    std::string multipartBoundary (const std::string& contentType)
    {
        if (mediaType (contentType) != "multipart/form-data")
            return {};

        const auto at = asciiLower (contentType).find ("boundary=");

        if (at == std::string::npos)
            return {};

        const auto end = contentType.find (';', at);
        auto boundary = trimmed (contentType.substr (at + 9, end == std::string::npos ? std::string::npos : end - at - 9));

        if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"')
            boundary = boundary.substr (1, boundary.size() - 2);

        return boundary;
    }

    struct Credentials
    {
        enum class Found { notYet, notBeforeFile, found } found = Found::notYet;
        std::string email, password;
    };

    // The name parameter of a part's Content-Disposition header.
    std::string partName (const std::string& partHeaders)
    {
        const auto lower = asciiLower (partHeaders);
        const auto header = lower.find ("content-disposition:");

        if (header == std::string::npos)
            return {};

        const auto lineEnd = lower.find ("\r\n", header);
        const auto line = partHeaders.substr (header, lineEnd == std::string::npos ? std::string::npos : lineEnd - header);

        for (auto start = line.find (';'); start != std::string::npos; start = line.find (';', start + 1))
        {
            const auto end = line.find (';', start + 1);
            const auto parameter = trimmed (line.substr (start + 1, end == std::string::npos ? std::string::npos
                                                                                             : end - start - 1));

            if (asciiLower (parameter.substr (0, 5)) == "name=")
            {
                auto value = parameter.substr (5);

                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr (1, value.size() - 2);

                return value;
            }
        }

        return {};
    }

    // Reads the parts of a multipart body that come before the inventory
    // file: the application sends e-mail, password, then the file.
    Credentials credentialsBeforeFile (std::string_view body, const std::string& boundary)
    {
        Credentials result;
        const auto delimiter = "--" + boundary;
        auto at = body.find (delimiter);
        bool sawEmail = false, sawPassword = false;

        while (at != std::string::npos)
        {
            const auto partStart = at + delimiter.size();

            if (body.size() < partStart + 2)
                return result;

            if (body.compare (partStart, 2, "--") == 0)
                break;

            const auto headersEnd = body.find ("\r\n\r\n", partStart);

            if (headersEnd == std::string::npos)
                return result;

            const auto name = partName (std::string (body.substr (partStart, headersEnd - partStart)));

            if (name == "userfile")
            {
                result.found = sawEmail && sawPassword ? Credentials::Found::found : Credentials::Found::notBeforeFile;
                return result;
            }

            const auto contentStart = headersEnd + 4;
            const auto contentEnd = body.find (std::string ("\r\n") + delimiter, contentStart);

            if (contentEnd == std::string::npos)
                return result;

            const auto content = std::string (body.substr (contentStart, contentEnd - contentStart));

            if (name == "email" && ! sawEmail)
            {
                result.email = content;
                sawEmail = true;
            }
            else if (name == "password" && ! sawPassword)
            {
                result.password = content;
                sawPassword = true;
            }

            at = contentEnd + 2;
        }

        result.found = Credentials::Found::notBeforeFile;
        return result;
    }

    // A request read whole by the front, answered by httplib: reads come
    // from memory, each piece freed once it has been read; writes go to the
    // connection (blocking, with a time-out).
    class BufferedStream : public httplib::Stream
    {
    public:
        BufferedStream (int socketFd, SSL* tls, std::vector<std::string>& requestPieces, std::string address, int port)
            : fd (socketFd), ssl (tls), pieces (requestPieces), remoteAddress (std::move (address)), remotePort (port)
        {
        }

        bool is_readable() const override { return piece < pieces.size(); }
        bool is_writable() const override { return true; }

        ssize_t read (char* ptr, size_t size) override
        {
            while (piece < pieces.size() && position == pieces[piece].size())
            {
                std::string().swap (pieces[piece++]);
                position = 0;
            }

            if (piece == pieces.size())
                return 0;

            const auto& current = pieces[piece];
            const auto count = std::min (size, current.size() - position);
            std::copy_n (current.data() + position, count, ptr);
            position += count;
            return static_cast<ssize_t> (count);
        }

        ssize_t write (const char* ptr, size_t size) override
        {
            if (ssl != nullptr)
            {
                ERR_clear_error();
                return SSL_write (ssl, ptr, static_cast<int> (std::min<size_t> (size, INT_MAX)));
            }

            for (;;)
            {
                const auto sent = ::send (fd, ptr, size, MSG_NOSIGNAL);

                if (sent >= 0 || errno != EINTR)
                    return sent;
            }
        }

        void get_remote_ip_and_port (std::string& ip, int& port) const override
        {
            ip = remoteAddress;
            port = remotePort;
        }

        void get_local_ip_and_port (std::string& ip, int& port) const override
        {
            ip.clear();
            port = 0;
        }

        socket_t socket() const override { return fd; }

    private:
        const int fd;
        SSL* const ssl;
        std::vector<std::string>& pieces;
        std::size_t piece = 0, position = 0;
        const std::string remoteAddress;
        const int remotePort;
    };

    void setBlocking (int fd, bool blocking)
    {
        const auto flags = fcntl (fd, F_GETFL, 0);
        fcntl (fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
    }

    void peerAddress (int fd, std::string& address, int& port)
    {
        sockaddr_storage peer {};
        socklen_t length = sizeof (peer);
        char text[INET6_ADDRSTRLEN] = {};

        if (getpeername (fd, reinterpret_cast<sockaddr*> (&peer), &length) != 0)
            return;

        if (peer.ss_family == AF_INET)
        {
            sockaddr_in v4 {};
            std::memcpy (&v4, &peer, sizeof (v4));
            inet_ntop (AF_INET, &v4.sin_addr, text, sizeof (text));
            port = ntohs (v4.sin_port);
        }
        else if (peer.ss_family == AF_INET6)
        {
            sockaddr_in6 v6 {};
            std::memcpy (&v6, &peer, sizeof (v6));
            inet_ntop (AF_INET6, &v6.sin6_addr, text, sizeof (text));
            port = ntohs (v6.sin6_port);
        }

        address = text;
    }

    bool isLoopback (const std::string& address)
    {
        in_addr v4 {};
        in6_addr v6 {};

        if (inet_pton (AF_INET, address.c_str(), &v4) == 1)
            return (ntohl (v4.s_addr) >> 24) == 127;

        if (inet_pton (AF_INET6, address.c_str(), &v6) == 1)
            return IN6_IS_ADDR_LOOPBACK (&v6) || (IN6_IS_ADDR_V4MAPPED (&v6) && v6.s6_addr[12] == 127);

        return false;
    }

    /** A forwarded client address in the form inet_ntop writes it, or
        nothing when the header does not hold exactly one address. */
    std::optional<std::string> forwardedAddress (std::string_view value)
    {
        while (! value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix (1);

        while (! value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix (1);

        if (value.empty() || value.size() >= INET6_ADDRSTRLEN)
            return std::nullopt;

        const std::string candidate (value);
        char text[INET6_ADDRSTRLEN] = {};
        in_addr v4 {};
        in6_addr v6 {};

        if (inet_pton (AF_INET, candidate.c_str(), &v4) == 1)
            inet_ntop (AF_INET, &v4, text, sizeof (text));
        else if (inet_pton (AF_INET6, candidate.c_str(), &v6) == 1)
            inet_ntop (AF_INET6, &v6, text, sizeof (text));
        else
            return std::nullopt;

        return std::string (text);
    }

    // Multipart framing (boundaries, part headers, the two form fields)
    // adds a little to the inventory file itself; the log-in parts are
    // looked for within it.
    constexpr std::size_t multipartAllowance = 64u * 1024u;

    // Uploads larger than this are checked against the account before
    // their file is read; smaller ones are read whole first.
    constexpr std::size_t earlyCheckBytes = 1u << 20;
}

//==============================================================================
/**
    The front of the server: accepts connections and gathers each request
    without blocking, then hands complete requests to the workers.
*/
class Server::Gate
{
public:
    explicit Gate (Server& owner) : server (owner), settings (owner.settings) {}

    ~Gate()
    {
        for (const auto fd : { listenFd, wakeRead, wakeWrite })
            if (fd >= 0)
                ::close (fd);
    }

    Gate (const Gate&) = delete;
    Gate& operator= (const Gate&) = delete;

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
    void log (const Connection& connection, int status, std::size_t size) const;

    Server& server;
    const Settings& settings;
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

int Server::Gate::bind (std::string& error)
{
    int pipeEnds[2] = { -1, -1 };

    if (pipe2 (pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        error = "cannot create a pipe";
        return -1;
    }

    wakeRead = pipeEnds[0];
    wakeWrite = pipeEnds[1];

    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const auto service = std::to_string (settings.port);

    if (getaddrinfo (settings.host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr)
    {
        error = "cannot resolve " + settings.host;
        return -1;
    }

    const std::unique_ptr<addrinfo, decltype (&freeaddrinfo)> addresses (found, freeaddrinfo);

    for (auto* a = addresses.get(); a != nullptr && listenFd < 0; a = a->ai_next)
    {
        const auto fd = ::socket (a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);

        if (fd < 0)
            continue;

        const int yes = 1;
        setsockopt (fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof (yes));

        if (::bind (fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen (fd, settings.backlog) == 0)
            listenFd = fd;
        else
            ::close (fd);
    }

    if (listenFd < 0)
    {
        error = "cannot listen on " + settings.host + ":" + std::to_string (settings.port);
        return -1;
    }

    sockaddr_storage bound {};
    socklen_t length = sizeof (bound);
    getsockname (listenFd, reinterpret_cast<sockaddr*> (&bound), &length);

    if (bound.ss_family == AF_INET6)
    {
        sockaddr_in6 v6 {};
        std::memcpy (&v6, &bound, sizeof (v6));
        return ntohs (v6.sin6_port);
    }

    sockaddr_in v4 {};
    std::memcpy (&v4, &bound, sizeof (v4));
    return ntohs (v4.sin_port);
}

void Server::Gate::run()
{
    std::vector<std::thread> workers;

    for (std::size_t i = 0; i < settings.threads; ++i)
        workers.emplace_back ([this] { work(); });

    std::vector<pollfd> polled;
    std::vector<std::uint64_t> polledIds;

    while (! stopping)
    {
        takeCheckResults();

        polled.clear();
        polledIds.clear();
        auto now = Clock::now();
        auto wait = std::chrono::milliseconds (1000);

        // Not accepting: every slot is taken by requests waiting for a
        // worker, or the process ran out of descriptors a moment ago (the
        // listening socket would stay readable and the loop would spin).
        const auto paused = now < acceptPausedUntil;
        const auto accepting = ! paused && handedOver < settings.maxConnections;

        if (paused)
            wait = std::min (wait, std::chrono::duration_cast<std::chrono::milliseconds> (acceptPausedUntil - now)
                                       + std::chrono::milliseconds (1));

        polled.push_back ({ wakeRead, POLLIN, 0 });
        polled.push_back ({ accepting ? listenFd : -1, POLLIN, 0 });

        for (const auto& [id, connection] : connections)
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (connection->deadline - now);
            wait = std::clamp (left + std::chrono::milliseconds (1), std::chrono::milliseconds (0), wait);

            if (connection->check == Check::checking)
                continue;

            polled.push_back ({ connection->fd, static_cast<short> (connection->wantsWrite ? POLLOUT : POLLIN), 0 });
            polledIds.push_back (id);
        }

        if (::poll (polled.data(), polled.size(), static_cast<int> (wait.count())) < 0 && errno != EINTR)
            break;

        if ((polled[0].revents & POLLIN) != 0)
        {
            char drained[256];

            while (::read (wakeRead, drained, sizeof (drained)) > 0)
            {
            }
        }

        for (std::size_t i = 2; i < polled.size(); ++i)
        {
            if (polled[i].revents == 0)
                continue;

            const auto found = connections.find (polledIds[i - 2]);

            if (found == connections.end())
                continue;

            if (found->second->draining)
                drain (*found->second);
            else
                service (*found->second);
        }

        now = Clock::now();

        if ((polled[1].revents & POLLIN) != 0)
            acceptAll (now);

        // The whole request must have come by its deadline, however
        // steadily its bytes trickle in.
        std::vector<Connection*> late;

        for (const auto& [id, connection] : connections)
            if (connection->deadline <= now)
                late.push_back (connection.get());

        for (auto* connection : late)
        {
            if (connection->draining)
                close (*connection);
            else
                refuse (*connection, 408, Outcome::errors (refusalTitle (408), "The request did not arrive in time."));
        }
    }

    std::vector<Connection*> open;

    for (const auto& [id, connection] : connections)
        open.push_back (connection.get());

    for (auto* connection : open)
        close (*connection);

    {
        const std::lock_guard<std::mutex> guard (jobsLock);
        workersStop = true;
    }

    jobsReady.notify_all();

    for (auto& worker : workers)
        worker.join();
}

void Server::Gate::acceptAll (Clock::time_point now)
{
    for (int i = 0; i < 64; ++i)
    {
        if (handedOver >= settings.maxConnections)
            return;

        const auto fd = accept4 (listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);

        if (fd < 0)
        {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                acceptPausedUntil = now + std::chrono::milliseconds (100);

            return;
        }

        if (connections.size() + handedOver >= settings.maxConnections)
            evictOldest();

        auto connection = std::make_unique<Connection>();
        connection->id = nextId++;
        connection->fd = fd;
        connection->accepted = now;
        connection->deadline = now + std::chrono::seconds (settings.requestTimeoutSeconds);
        connection->handshaken = tls == nullptr;
        peerAddress (fd, connection->address, connection->port);

        RequestReader::Limits limits;
        limits.bodyLimit = [this] (const std::string& method, const std::string& path)
        {
            return server.bodyLimitFor (method, path);
        };
        connection->reader = std::make_unique<RequestReader> (std::move (limits));

        if (tls != nullptr)
        {
            connection->ssl.reset (SSL_new (tls));

            if (connection->ssl == nullptr)
            {
                ::close (fd);
                continue;
            }

            SSL_set_fd (connection->ssl.get(), fd);
            SSL_set_accept_state (connection->ssl.get());
        }

        const auto id = connection->id;
        connections.emplace (id, std::move (connection));
    }
}

// With every slot taken, the connection that has been reading longest
// gives way: it is the likeliest to be one that sends slowly on purpose.
void Server::Gate::evictOldest()
{
    Connection* oldest = nullptr;

    for (const auto& [id, connection] : connections)
        if (connection->check != Check::checking && (oldest == nullptr || connection->accepted < oldest->accepted))
            oldest = connection.get();

    if (oldest == nullptr)
        return;

    if (oldest->draining)
        close (*oldest);
    else
        refuse (*oldest, 503, busy());
}

void Server::Gate::service (Connection& connection)
{
    auto* const ssl = connection.ssl.get();

    if (! connection.handshaken)
    {
        // OpenSSL's error queue belongs to the thread: what an earlier
        // connection left there would read as this one's failure.
        ERR_clear_error();
        const auto done = SSL_do_handshake (ssl);

        if (done != 1)
        {
            const auto reason = SSL_get_error (ssl, done);

            if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE)
                connection.wantsWrite = reason == SSL_ERROR_WANT_WRITE;
            else
                close (connection);

            return;
        }

        connection.handshaken = true;
        connection.wantsWrite = false;
    }

    // A bounded amount per turn, so that one fast sender cannot keep the
    // others waiting; what TLS has decrypted already is taken in any case,
    // as the socket will not show it.
    for (int turn = 0; turn < 16 || (ssl != nullptr && SSL_pending (ssl) > 0); ++turn)
    {
        ssize_t count = 0;

        if (ssl != nullptr)
        {
            ERR_clear_error();
            count = SSL_read (ssl, readBuffer.data(), static_cast<int> (readBuffer.size()));

            if (count <= 0)
            {
                const auto reason = SSL_get_error (ssl, static_cast<int> (count));

                if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE)
                {
                    connection.wantsWrite = reason == SSL_ERROR_WANT_WRITE;
                    return;
                }

                return close (connection);
            }
        }
        else
        {
            count = ::recv (connection.fd, readBuffer.data(), readBuffer.size(), 0);

            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                return;

            if (count <= 0)
                return close (connection);
        }

        if (! onBytes (connection, std::string_view (readBuffer.data(), static_cast<std::size_t> (count))))
            return;
    }
}

// False when the connection has been handed over or closed, or must not
// be read for now.
bool Server::Gate::onBytes (Connection& connection, std::string_view bytes)
{
    auto& reader = *connection.reader;
    const bool hadHeaders = reader.hasHeaders();
    const auto state = reader.feed (bytes);

    if (state == RequestReader::State::refused)
    {
        refuse (connection, reader.refusalStatus(),
                Outcome::errors (refusalTitle (reader.refusalStatus()), reader.refusalReason()));
        return false;
    }

    if (! hadHeaders && reader.hasHeaders())
    {
        if (settings.trustProxy && isLoopback (connection.address))
            if (const auto forwarded = forwardedAddress (reader.header ("X-Real-IP").value_or ("")))
                connection.address = *forwarded;

        // A declared length is taken from the budget at once, a chunked
        // body as it grows.
        const auto declared = reader.declaredLength().value_or (0);

        if (declared > 0 && ! reserve (declared))
        {
            refuse (connection, 503, busy());
            return false;
        }

        connection.reserved = declared;

        if (state == RequestReader::State::reading
            && asciiLower (reader.header ("Expect").value_or ("")) == "100-continue")
        {
            static const std::string goAhead = "HTTP/1.1 100 Continue\r\n\r\n";

            if (connection.ssl != nullptr)
            {
                ERR_clear_error();
                SSL_write (connection.ssl.get(), goAhead.data(), static_cast<int> (goAhead.size()));
            }
            else
                ::send (connection.fd, goAhead.data(), goAhead.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }

    if (reader.bodyReceived() > connection.reserved)
    {
        const auto more = reader.bodyReceived() - connection.reserved;

        if (! reserve (more))
        {
            refuse (connection, 503, busy());
            return false;
        }

        connection.reserved += more;
    }

    if (state == RequestReader::State::complete)
    {
        handOver (connection);
        return false;
    }

    if (connection.check == Check::notYet && reader.hasHeaders())
    {
        startCheck (connection);
        return connection.check != Check::checking;
    }

    return true;
}

// A large scan upload is checked against the account once its log-in
// parts are in, before the file is read.
void Server::Gate::startCheck (Connection& connection)
{
    const auto& reader = *connection.reader;
    const auto declared = reader.declaredLength();

    if (reader.method() != "POST" || reader.path() != scanPath || (declared.has_value() && *declared <= earlyCheckBytes))
    {
        connection.check = Check::done;
        return;
    }

    const auto boundary = multipartBoundary (reader.header ("Content-Type").value_or (""));

    if (boundary.empty())
    {
        connection.check = Check::done;
        return;
    }

    auto credentials = credentialsBeforeFile (reader.bodyStart(), boundary);

    if (credentials.found == Credentials::Found::notYet)
    {
        if (reader.bodyReceived() > multipartAllowance)
            connection.check = Check::done;

        return;
    }

    if (credentials.found == Credentials::Found::notBeforeFile)
    {
        connection.check = Check::done;
        return;
    }

    connection.check = Check::checking;

    enqueue ([this, id = connection.id, email = std::move (credentials.email),
              password = std::move (credentials.password), address = connection.address]
    {
        CheckResult result;
        result.id = id;

        try
        {
            const auto login = server.accounts.logIn (email, password, address);

            if (! login.ok)
                result.refusal = Outcome::errors (login.errorTitle, login.errorText);
        }
        catch (const std::exception& e)
        {
            logLine (std::string ("error: POST ") + scanPath + ": " + e.what());
            result.refusal = serviceError();
        }

        {
            const std::lock_guard<std::mutex> guard (resultsLock);
            results.push_back (std::move (result));
        }

        wake();
    });
}

void Server::Gate::takeCheckResults()
{
    std::vector<CheckResult> taken;

    {
        const std::lock_guard<std::mutex> guard (resultsLock);
        taken.swap (results);
    }

    for (auto& result : taken)
    {
        const auto found = connections.find (result.id);

        // Gone already, or refused: its deadline passed while it was checked.
        if (found == connections.end() || found->second->draining)
            continue;

        auto& connection = *found->second;
        connection.check = Check::done;

        // Refused as the whole upload would have been: with an Errors
        // document, which the application shows.
        if (result.refusal.has_value())
            refuse (connection, 200, *result.refusal);
        else if (connection.ssl != nullptr && SSL_pending (connection.ssl.get()) > 0)
            service (connection);
    }
}

void Server::Gate::handOver (Connection& connection)
{
    struct Handover
    {
        int fd = -1;
        SslPointer ssl;
        std::vector<std::string> request;
        std::size_t reserved = 0;
        std::string address;
        int port = 0;
    };

    auto handover = std::make_shared<Handover>();
    handover->fd = connection.fd;
    handover->ssl = std::move (connection.ssl);
    handover->request = connection.reader->takeRequest();
    handover->reserved = connection.reserved;
    handover->address = connection.address;
    handover->port = connection.port;

    // From here on the connection belongs to the job. Requests waiting for
    // a worker count against the connection cap too, so that a flood of
    // quick requests cannot pile up descriptors faster than they are answered.
    const auto id = connection.id;
    connections.erase (id);
    ++handedOver;

    setBlocking (handover->fd, true);
    const timeval writeLimit { std::min (30, settings.requestTimeoutSeconds), 0 };
    setsockopt (handover->fd, SOL_SOCKET, SO_SNDTIMEO, &writeLimit, sizeof (writeLimit));
    setsockopt (handover->fd, SOL_SOCKET, SO_RCVTIMEO, &writeLimit, sizeof (writeLimit));

    enqueue ([this, handover]
    {
        {
            BufferedStream stream (handover->fd, handover->ssl.get(), handover->request,
                                   handover->address, handover->port);
            server.serveStream (stream);
        }

        if (handover->ssl != nullptr)
        {
            ERR_clear_error();
            SSL_shutdown (handover->ssl.get());
            ERR_clear_error();
        }

        handover->ssl.reset();
        ::close (handover->fd);
        handover->request.clear();
        release (handover->reserved);

        // At the cap the front stopped accepting; it may go on now.
        if (handedOver-- == settings.maxConnections)
            wake();
    });
}

void Server::Gate::refuse (Connection& connection, int status, const Outcome& outcome)
{
    const auto reply = closingReply (status, outcome);

    // The reply is small and goes into the socket's buffer at once; a
    // client that does not take it loses it.
    if (connection.handshaken)
    {
        if (connection.ssl != nullptr)
        {
            ERR_clear_error();
            SSL_write (connection.ssl.get(), reply.data(), static_cast<int> (reply.size()));
        }
        else
        {
            ::send (connection.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }

    log (connection, status, reply.size());

    if (connection.ssl != nullptr || ! connection.handshaken)
        return close (connection);

    // Closing a socket with unread input resets the connection, and a
    // client still sending its body would then lose the reply. The rest
    // of the request is read and dropped for a little while first.
    ::shutdown (connection.fd, SHUT_WR);
    release (connection.reserved);
    connection.reserved = 0;
    connection.reader.reset();
    connection.draining = true;
    connection.check = Check::done;
    connection.wantsWrite = false;
    connection.deadline = std::min (connection.deadline, Clock::now() + drainTime);
}

void Server::Gate::drain (Connection& connection)
{
    for (int turn = 0; turn < 16; ++turn)
    {
        const auto count = ::recv (connection.fd, readBuffer.data(), readBuffer.size(), 0);

        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;

        connection.drained += count > 0 ? static_cast<std::size_t> (count) : 0;

        if (count <= 0 || connection.drained > maxDrainBytes)
            return close (connection);
    }
}

void Server::Gate::close (Connection& connection)
{
    if (connection.ssl != nullptr && connection.handshaken)
    {
        ERR_clear_error();
        SSL_shutdown (connection.ssl.get());
        ERR_clear_error();
    }

    connection.ssl.reset();

    // Whatever the client still sends is dropped with the connection.
    ::shutdown (connection.fd, SHUT_WR);
    ::close (connection.fd);
    release (connection.reserved);
    const auto id = connection.id;
    connections.erase (id);
}

void Server::Gate::log (const Connection& connection, int status, std::size_t size) const
{
    if (! settings.logRequests)
        return;

    const auto& reader = *connection.reader;
    logLine ((reader.hasHeaders() ? reader.method() + " " + reader.path() : std::string ("- -"))
             + " " + std::to_string (status) + " " + std::to_string (size));
}

//==============================================================================
Server::Server (Settings serverSettings, Accounts& accountHandler, ScanHandler& scanHandler,
                const VersionCheck& versionCheck)
    : settings (std::move (serverSettings)), accounts (accountHandler), scans (scanHandler), versions (versionCheck)
{
    if (settings.tlsCertificate.empty())
    {
        auto engine = std::make_unique<PlainEngine>();
        serveStream = [plain = engine.get()] (httplib::Stream& stream) { plain->serve (stream); };
        http = std::move (engine);
    }
    else
    {
        auto engine = std::make_unique<SecureEngine> (settings.tlsCertificate.c_str(), settings.tlsKey.c_str());
        serveStream = [secure = engine.get()] (httplib::Stream& stream) { secure->serve (stream); };
        http = std::move (engine);
    }

    // The front has bounded every body already; this is a second guard.
    http->set_payload_max_length (settings.maxInventoryBytes + multipartAllowance);

    gate = std::make_unique<Gate> (*this);
    addRoutes();
}

Server::~Server() = default;

std::optional<std::size_t> Server::bodyLimitFor (const std::string& method, const std::string& path) const
{
    if (method == "GET" || method == "HEAD")
        return 0;

    if (method != "POST")
        return std::nullopt;

    return path == scanPath ? settings.maxInventoryBytes + multipartAllowance : settings.maxFormBytes;
}

void Server::addRoutes()
{
    http->set_error_handler ([] (const httplib::Request&, httplib::Response& response)
    {
        if (! response.body.empty())
            return;

        if (response.status == 404)
            response.set_content ("Not Found\n", "text/plain; charset=UTF-8");
        else if (response.status == 413)
            response.set_content (ReplyRenderer::render (Outcome::errors ("Request Too Large",
                                      "The request is larger than the service accepts.")), xmlType);
        else
            response.set_content (ReplyRenderer::render (Outcome::errors ("Bad Request",
                                      "The service could not read the request.")), xmlType);
    });

    http->set_exception_handler ([] (const httplib::Request& request, httplib::Response& response, std::exception_ptr failure)
    {
        std::string what = "unknown failure";

        try
        {
            if (failure)
                std::rethrow_exception (failure);
        }
        catch (const std::exception& e)
        {
            what = e.what();
        }
        catch (...)
        {
        }

        failureLine (request, what);
        replyXml (response, serviceError());
    });

    if (settings.logRequests)
    {
        http->set_logger ([] (const httplib::Request& request, const httplib::Response& response)
        {
            logLine (request.method + " " + request.path + " " + std::to_string (response.status)
                     + " " + std::to_string (response.body.size()));
        });
    }

    for (const auto& [path, page] : { std::pair { "/checkconnect/index.html", &checkConnectPage },
                                      std::pair { "/betareport", &reportPage },
                                      std::pair { "/sponsor", &sponsorPage } })
    {
        http->Get (path, [content = page] (const httplib::Request&, httplib::Response& response)
        {
            response.set_content (*content, "text/html; charset=UTF-8");
        });
    }

    // The link mailed at sign-up. The token is in the query, which the
    // request log leaves out; the page says no more than whether it
    // worked, is not kept by caches, and sends no referrer anywhere. HEAD
    // (as link checkers send) confirms nothing.
    http->Get ("/confirm", [this] (const httplib::Request& request, httplib::Response& response)
    {
        response.set_header ("Cache-Control", "no-store");
        response.set_header ("Referrer-Policy", "no-referrer");

        if (request.method == "HEAD")
            return response.set_content (htmlPage ("Cobaltline", "Open this link in a browser to confirm your address."),
                                         "text/html; charset=UTF-8");

        const auto outcome = accounts.confirmAddress (request.get_param_value ("token"));
        response.status = outcome.kind == Outcome::Kind::success ? 200 : 404;
        response.set_content (htmlPage ("Cobaltline - " + escapeHtml (outcome.title), escapeHtml (outcome.text)),
                              "text/html; charset=UTF-8");
    });

    // Forms are read only when they say they are forms: a cross-site page
    // can post text/plain to the service without asking the browser first.
    const auto isForm = [] (const httplib::Request& request)
    {
        return mediaType (request.get_header_value ("Content-Type")) == formType;
    };

    http->Post ("/check_app_version/index.php", [isForm, this] (const httplib::Request& request, httplib::Response& response)
    {
        if (! isForm (request))
            return replyXml (response, unsupportedType(), 415);

        const auto form = FormDecoding::parse (request.body);
        replyXml (request, response, versions.answer (form.valueOf ("user_version")));
    });

    http->Post ("/authentication/index.php", [isForm, this] (const httplib::Request& request, httplib::Response& response)
    {
        if (! isForm (request))
            return replyXml (response, unsupportedType(), 415);

        replyXml (request, response, accounts.handle (FormDecoding::parse (request.body), request.remote_addr));
    });

    http->Post (scanPath, [isForm, this] (const httplib::Request& request, httplib::Response& response)
    {
        std::string email, password;
        std::optional<std::string_view> inventory;

        if (request.is_multipart_form_data())
        {
            // Parts are looked up in place: the inventory may be large.
            const auto part = [&request] (const char* name) -> const httplib::MultipartFormData*
            {
                const auto found = request.files.find (name);
                return found != request.files.end() ? &found->second : nullptr;
            };

            if (const auto* field = part ("email"))
                email = field->content;

            if (const auto* field = part ("password"))
                password = field->content;

            if (const auto* file = part ("userfile"))
                inventory = file->content;
        }
        else if (isForm (request))
        {
            const auto form = FormDecoding::parse (request.body);
            email = form.valueOf ("email");
            password = form.valueOf ("password");
        }
        else
        {
            return replyXml (response, Outcome::errors ("Unsupported Request",
                "The upload must be sent as multipart/form-data."), 415);
        }

        replyXml (request, response, scans.handle (email, password, inventory, request.remote_addr));
    });
}

int Server::bind (std::string& error)
{
    if (! http->is_valid())
    {
        error = "the TLS certificate or key could not be loaded";
        return -1;
    }

    if (! settings.tlsCertificate.empty())
        gate->tls = static_cast<SecureEngine&> (*http).ssl_context();

    return gate->bind (error);
}

void Server::run()
{
    gate->run();
}

void Server::stop()
{
    gate->stop();
}
