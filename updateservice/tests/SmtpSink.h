#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/**
    A mail relay for tests: speaks enough SMTP on a loopback port for a
    client to hand it messages, and keeps them. It can refuse the next few
    deliveries with a temporary failure (451), as a relay that is busy does.
    One connection at a time.
*/
class SmtpSink
{
public:
    SmtpSink();
    ~SmtpSink();

    SmtpSink (const SmtpSink&) = delete;
    SmtpSink& operator= (const SmtpSink&) = delete;

    int port() const noexcept { return listeningPort; }

    struct Message
    {
        std::string from, to, data;
    };

    /** Refuses the next `count` deliveries. */
    void refuseNext (int count);

    /** Waits up to `seconds` until `count` messages have arrived; returns
        those that have. */
    std::vector<Message> waitFor (std::size_t count, int seconds);

    int refusals() const;

private:
    void serve (int connection);

    int listener = -1;
    int listeningPort = 0;
    mutable std::mutex lock;
    std::condition_variable arrived;
    std::vector<Message> messages;
    int toRefuse = 0, refused = 0;
    bool stopping = false;
    std::thread worker;
};
