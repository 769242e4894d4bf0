#include "mail/MailQueue.h"

#include <exception>
#include <stdexcept>

MailQueue::MailQueue (FailureReport failureReport, std::chrono::milliseconds taskDelay, std::size_t waitingLimit)
    : reportFailure (std::move (failureReport)), delay (taskDelay), maxWaiting (waitingLimit)
{
    // Started last, once every member it uses exists.
    worker = std::thread ([this] { run(); });
}

MailQueue::~MailQueue()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        stopping = true;
    }

    changed.notify_all();
    worker.join();
}

void MailQueue::post (Task task)
{
    {
        const std::lock_guard<std::mutex> guard (lock);

        if (waiting.size() >= maxWaiting)
            throw std::runtime_error ("the mail queue is full");

        waiting.push_back ({ Clock::now() + delay, std::move (task) });
    }

    changed.notify_all();
}

void MailQueue::flush()
{
    std::unique_lock<std::mutex> guard (lock);
    changed.wait (guard, [this] { return waiting.empty() && ! busy; });
}

void MailQueue::run()
{
    std::unique_lock<std::mutex> guard (lock);

    for (;;)
    {
        changed.wait (guard, [this] { return stopping || ! waiting.empty(); });

        if (waiting.empty())
            return;   // stopping, with everything done

        // Tasks are due in the order they came; on stopping they run at once.
        const auto due = waiting.front().due;
        changed.wait_until (guard, due, [this] { return stopping; });

        auto task = std::move (waiting.front().task);
        waiting.pop_front();
        busy = true;
        guard.unlock();

        try
        {
            task();
        }
        catch (const std::exception& e)
        {
            if (reportFailure)
                reportFailure (e.what());
        }
        catch (...)
        {
            if (reportFailure)
                reportFailure ("unknown failure");
        }

        guard.lock();
        busy = false;
        changed.notify_all();
    }
}
