#include "core/updates/VersionCheckSchedule.h"

//==============================================================================
/** Runs one check at a time off the message thread and hands the outcome
    back to the schedule, if it still exists.
*/
class VersionCheckSchedule::Worker final : public juce::Thread
{
public:
    Worker (const ServiceEndpoint& serviceEndpoint, const juce::String& applicationVersion)
        : juce::Thread ("Version check"), service (serviceEndpoint), version (applicationVersion)
    {
    }

    ~Worker() override
    {
        // The exchanges poll threadShouldExit and are cancelled at once.
        stopThread (stopTimeoutMs);
    }

    /** Message thread only. False when no check could be started. */
    bool start (juce::WeakReference<VersionCheckSchedule> target)
    {
        if (! waitForThreadToExit (stopTimeoutMs))
            return false;

        owner = std::move (target);
        return startThread();
    }

private:
    void run() override
    {
        auto outcome = VersionCheck::run (service, version, [this] { return threadShouldExit(); });

        if (threadShouldExit())
            return;

        juce::MessageManager::callAsync ([target = owner, outcome = std::move (outcome)]
        {
            if (auto* schedule = target.get())
                schedule->finished (outcome);
        });
    }

    static constexpr int stopTimeoutMs = 5000;

    const ServiceEndpoint& service;
    const juce::String version;
    juce::WeakReference<VersionCheckSchedule> owner;
};

//==============================================================================
VersionCheckSchedule::VersionCheckSchedule (const ServiceEndpoint& service, const juce::String& applicationVersion,
                                            OutcomeHandler handler)
    : onOutcome (std::move (handler)),
      worker (std::make_unique<Worker> (service, applicationVersion))
{
}

VersionCheckSchedule::~VersionCheckSchedule()
{
    stopTimer();
    worker = nullptr;
}

void VersionCheckSchedule::start()
{
    startTimer (periodMs);
}

void VersionCheckSchedule::checkNow()
{
    timerCallback();
}

void VersionCheckSchedule::timerCallback()
{
    // The next period is set when the outcome is in; no second check starts meanwhile.
    stopTimer();

    if (! worker->start (this))
    {
        periodMs = VersionCheck::quietPeriodMs;   // try again later
        startTimer (periodMs);
    }
}

void VersionCheckSchedule::finished (const VersionCheck::Outcome& outcome)
{
    // Offline nothing was asked, and the last reply stays.
    if (outcome.finding != VersionCheck::Finding::offline)
        lastReply = outcome.reply;

    const juce::WeakReference<VersionCheckSchedule> stillHere (this);
    const auto answer = onOutcome != nullptr ? onOutcome (outcome) : 0;

    // The program may have been closed while an alert was up.
    if (stillHere == nullptr)
        return;

    periodMs = VersionCheck::nextPeriodMs (outcome.finding, answer, periodMs);
    startTimer (periodMs);
}
