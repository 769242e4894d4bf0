#include "SmtpSink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace
{
    void say (int connection, const std::string& line)
    {
        const auto text = line + "\r\n";
        send (connection, text.data(), text.size(), MSG_NOSIGNAL);
    }

    // One line without its CR LF; false at the end of the connection.
    bool readLine (int connection, std::string& buffer, std::string& line)
    {
        for (;;)
        {
            if (const auto end = buffer.find ("\r\n"); end != std::string::npos)
            {
                line = buffer.substr (0, end);
                buffer.erase (0, end + 2);
                return true;
            }

            pollfd ready { connection, POLLIN, 0 };

            if (poll (&ready, 1, 5000) <= 0)
                return false;

            char chunk[4096];
            const auto n = recv (connection, chunk, sizeof (chunk), 0);

            if (n <= 0)
                return false;

            buffer.append (chunk, static_cast<std::size_t> (n));
        }
    }

    bool startsWith (const std::string& line, const char* command)
    {
        const std::string prefix (command);
        return line.size() >= prefix.size()
            && std::equal (prefix.begin(), prefix.end(), line.begin(),
                           [] (char a, char b) { return a == (b >= 'a' && b <= 'z' ? b - 32 : b); });
    }
}

SmtpSink::SmtpSink()
{
    listener = socket (AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
    socklen_t size = sizeof (address);

    if (bind (listener, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0 || listen (listener, 8) != 0
        || getsockname (listener, reinterpret_cast<sockaddr*> (&address), &size) != 0)
        return;

    listeningPort = ntohs (address.sin_port);

    worker = std::thread ([this]
    {
        for (;;)
        {
            pollfd ready { listener, POLLIN, 0 };
            const auto polled = poll (&ready, 1, 100);

            {
                const std::lock_guard<std::mutex> guard (lock);

                if (stopping)
                    return;
            }

            if (polled <= 0)
                continue;

            const int connection = accept (listener, nullptr, nullptr);

            if (connection >= 0)
            {
                serve (connection);
                close (connection);
            }
        }
    });
}

SmtpSink::~SmtpSink()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        stopping = true;
    }

    if (worker.joinable())
        worker.join();

    close (listener);
}

void SmtpSink::refuseNext (int count)
{
    const std::lock_guard<std::mutex> guard (lock);
    toRefuse = count;
}

int SmtpSink::refusals() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return refused;
}

std::vector<SmtpSink::Message> SmtpSink::waitFor (std::size_t count, int seconds)
{
    std::unique_lock<std::mutex> guard (lock);
    arrived.wait_for (guard, std::chrono::seconds (seconds), [&] { return messages.size() >= count; });
    return messages;
}

void SmtpSink::serve (int connection)
{
    std::string buffer, line;
    Message message;
    say (connection, "220 sink.test ESMTP");

    while (readLine (connection, buffer, line))
    {
        if (startsWith (line, "EHLO") || startsWith (line, "HELO"))
        {
            say (connection, "250-sink.test");
            say (connection, "250 8BITMIME");
        }
        else if (startsWith (line, "MAIL FROM:"))
        {
            const std::lock_guard<std::mutex> guard (lock);

            if (toRefuse > 0)
            {
                --toRefuse;
                ++refused;
                say (connection, "451 4.3.0 Busy, try again later");
                continue;
            }

            message = { line.substr (10), {}, {} };
            say (connection, "250 2.1.0 OK");
        }
        else if (startsWith (line, "RCPT TO:"))
        {
            message.to = line.substr (8);
            say (connection, "250 2.1.5 OK");
        }
        else if (startsWith (line, "DATA"))
        {
            say (connection, "354 End data with <CR><LF>.<CR><LF>");
            std::string data;

            while (readLine (connection, buffer, line) && line != ".")
                data += (line.rfind ("..", 0) == 0 ? line.substr (1) : line) + "\r\n";

            message.data = data;

            {
                const std::lock_guard<std::mutex> guard (lock);
                messages.push_back (message);
            }

            arrived.notify_all();
            say (connection, "250 2.0.0 Queued");
        }
        else if (startsWith (line, "QUIT"))
        {
            say (connection, "221 2.0.0 Bye");
            return;
        }
        else if (startsWith (line, "RSET") || startsWith (line, "NOOP"))
        {
            say (connection, "250 2.0.0 OK");
        }
        else
        {
            say (connection, "502 5.5.2 Not implemented");
        }
    }
}
