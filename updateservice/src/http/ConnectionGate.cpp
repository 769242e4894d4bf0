#include "http/ConnectionGate.h"

#include "http/Common.h"
#include "http/MultipartLookAhead.h"
#include "http/ReplyRenderer.h"
#include "http/RequestLog.h"

#include <httplib.h>
#include <openssl/err.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

namespace
{
    using front::asciiLower;
    using front::logLine;
    using front::multipartAllowance;
    using front::scanPath;
    using front::serviceError;

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
                            "Content-Type: " + std::string (front::xmlType) + "\r\n"
                            "Content-Length: " + std::to_string (document.size()) + "\r\n"
                            "Connection: close\r\n";

        if (status == 405)
            reply += "Allow: GET, POST\r\n";

        if (status == 503)
            reply += "Retry-After: 5\r\n";

        return reply + "\r\n" + document;
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
            const auto sent = transmit (ptr, size);

            if (sent > 0)
            {
                const auto count = static_cast<std::size_t> (sent);

                if (statusLine.size() < statusLineBytes)
                    statusLine.append (ptr, std::min (count, statusLineBytes - statusLine.size()));

                bytesSent += count;
            }

            return sent;
        }

        /** The status of the reply written, from its status line; 0 when
            none was written. */
        int status() const
        {
            // "HTTP/1.1 200 "
            if (statusLine.size() < statusLineBytes || statusLine.compare (0, 5, "HTTP/") != 0)
                return 0;

            int code = 0;

            for (std::size_t i = 9; i < 12; ++i)
            {
                if (statusLine[i] < '0' || statusLine[i] > '9')
                    return 0;

                code = code * 10 + (statusLine[i] - '0');
            }

            return code;
        }

        std::size_t sent() const noexcept { return bytesSent; }

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
        ssize_t transmit (const char* ptr, size_t size)
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

        static constexpr std::size_t statusLineBytes = 12;

        const int fd;
        SSL* const ssl;
        std::vector<std::string>& pieces;
        std::size_t piece = 0, position = 0;
        const std::string remoteAddress;
        const int remotePort;
        std::string statusLine;   ///< its first bytes
        std::size_t bytesSent = 0;
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

    // Uploads larger than this are checked against the account before
    // their file is read; smaller ones are read whole first.
    constexpr std::size_t earlyCheckBytes = 1u << 20;
}


ConnectionGate::~ConnectionGate()
{
    for (const auto fd : { listenFd, wakeRead, wakeWrite })
        if (fd >= 0)
            ::close (fd);
}

int ConnectionGate::bind (std::string& error)
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

void ConnectionGate::run()
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

void ConnectionGate::acceptAll (Clock::time_point now)
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
            return bodyLimit (method, path);
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
void ConnectionGate::evictOldest()
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

void ConnectionGate::service (Connection& connection)
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
bool ConnectionGate::onBytes (Connection& connection, std::string_view bytes)
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
void ConnectionGate::startCheck (Connection& connection)
{
    const auto& reader = *connection.reader;
    const auto declared = reader.declaredLength();

    if (reader.method() != "POST" || reader.path() != scanPath || (declared.has_value() && *declared <= earlyCheckBytes))
    {
        connection.check = Check::done;
        return;
    }

    const auto boundary = MultipartLookAhead::boundaryOf (reader.header ("Content-Type").value_or (""));

    if (boundary.empty())
    {
        connection.check = Check::done;
        return;
    }

    auto credentials = MultipartLookAhead::credentialsBeforeFile (reader.bodyStart(), boundary);

    if (credentials.found == MultipartLookAhead::Credentials::Found::notYet)
    {
        if (reader.bodyReceived() > multipartAllowance)
            connection.check = Check::done;

        return;
    }

    if (credentials.found == MultipartLookAhead::Credentials::Found::notBeforeFile)
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
            const auto login = accounts.logIn (email, password, address);

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

void ConnectionGate::takeCheckResults()
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

void ConnectionGate::handOver (Connection& connection)
{
    struct Handover
    {
        int fd = -1;
        SslPointer ssl;
        std::vector<std::string> request;
        std::size_t reserved = 0;
        std::string address;
        int port = 0;
        std::string method, path;
        Clock::time_point accepted;
    };

    auto handover = std::make_shared<Handover>();
    handover->fd = connection.fd;
    handover->ssl = std::move (connection.ssl);
    handover->request = connection.reader->takeRequest();
    handover->reserved = connection.reserved;
    handover->address = connection.address;
    handover->port = connection.port;
    handover->method = connection.reader->method();
    handover->path = connection.reader->path();
    handover->accepted = connection.accepted;

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
        int status = 0;
        std::size_t sent = 0;

        {
            BufferedStream stream (handover->fd, handover->ssl.get(), handover->request,
                                   handover->address, handover->port);
            serve (stream);
            status = stream.status();
            sent = stream.sent();
        }

        if (handover->ssl != nullptr)
        {
            ERR_clear_error();
            SSL_shutdown (handover->ssl.get());
            ERR_clear_error();
        }

        handover->ssl.reset();
        ::close (handover->fd);
        log (handover->method, handover->path, handover->address, handover->accepted, status, sent);
        handover->request.clear();
        release (handover->reserved);

        // At the cap the front stopped accepting; it may go on now.
        if (handedOver-- == settings.maxConnections)
            wake();
    });
}

void ConnectionGate::refuse (Connection& connection, int status, const Outcome& outcome)
{
    const auto reply = closingReply (status, outcome);

    // The reply is small and goes into the socket's buffer at once; a
    // client that does not take it loses it.
    ssize_t sent = 0;

    if (connection.handshaken)
    {
        if (connection.ssl != nullptr)
        {
            ERR_clear_error();
            sent = SSL_write (connection.ssl.get(), reply.data(), static_cast<int> (reply.size()));
        }
        else
        {
            sent = ::send (connection.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }

    log (connection.reader->method(), connection.reader->path(), connection.address, connection.accepted,
         status, sent > 0 ? static_cast<std::size_t> (sent) : 0);

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

void ConnectionGate::drain (Connection& connection)
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

void ConnectionGate::close (Connection& connection)
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

void ConnectionGate::log (const std::string& method, const std::string& path, const std::string& client,
                          Clock::time_point accepted, int status, std::size_t sent) const
{
    if (! settings.logRequests)
        return;

    front::RequestRecord record;
    record.finished = std::chrono::system_clock::now();
    record.method = method;
    record.path = path;
    record.status = status;
    record.bytes = sent;
    record.elapsed = std::chrono::duration_cast<std::chrono::milliseconds> (Clock::now() - accepted);
    record.client = client;
    logLine (front::requestLogLine (record));
}
