#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

/**
    Runs the mail work of requests (issuing a reset code and writing its
    message) on a thread of its own, after the reply has gone: a request
    for an address with an account then answers exactly as fast as one
    for an address without, so reply times tell nothing about which
    addresses exist.

    A task runs `delay` after it was posted, so that its work does not
    even compete with the reply that posted it for the processor.

    post() only queues the task; it throws std::runtime_error when
    `maxWaiting` tasks are waiting already. A task that throws is reported
    to `reportFailure` (from the queue's thread). The destructor runs what
    is waiting, then stops.

    Thread-safe.
*/
class MailQueue
{
public:
    using Task = std::function<void()>;
    using FailureReport = std::function<void (const std::string& what)>;

    explicit MailQueue (FailureReport reportFailure, std::chrono::milliseconds delay = {},
                        std::size_t maxWaiting = 10000);
    ~MailQueue();

    MailQueue (const MailQueue&) = delete;
    MailQueue& operator= (const MailQueue&) = delete;

    void post (Task task);

    /** Waits until every task posted so far has run. */
    void flush();

private:
    void run();

    using Clock = std::chrono::steady_clock;

    struct Waiting
    {
        Clock::time_point due;
        Task task;
    };

    const FailureReport reportFailure;
    const std::chrono::milliseconds delay;
    const std::size_t maxWaiting;

    std::mutex lock;
    std::condition_variable changed;
    std::deque<Waiting> waiting;
    bool busy = false;
    bool stopping = false;
    std::thread worker;
};
