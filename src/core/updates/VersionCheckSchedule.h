#pragma once

#include "core/updates/VersionCheck.h"

#include <juce_events/juce_events.h>

/** When the program asks the service for a newer release of itself.

    The first check comes VersionCheck::firstPeriodMs after start(); each
    check runs on a thread of its own, so a slow service never holds up the
    message thread, and only one runs at a time. Its outcome comes back to
    the message thread, where the owner is told (and may show the alert) and
    the next check is timed by the finding and the answer
    (VersionCheck::nextPeriodMs).

    Message thread only; destroying the schedule abandons a check under way
    at once.
*/
class VersionCheckSchedule final : private juce::Timer
{
public:
    /** Told each outcome on the message thread; gives the answer to the
        alert it showed, or 0 when it showed none. The schedule may be
        destroyed while it runs (an alert's modal loop).
    */
    using OutcomeHandler = std::function<int (const VersionCheck::Outcome&)>;

    /** The service must outlive the schedule. Nothing runs before start(). */
    VersionCheckSchedule (const ServiceEndpoint& service, const juce::String& applicationVersion,
                          OutcomeHandler onOutcome);
    ~VersionCheckSchedule() override;

    /** Times the first check. */
    void start();

    /** Starts a check now, as the timer does. */
    void checkNow();

    /** The timer's period now; 0 while a check is under way. */
    int getPeriodMs() const noexcept   { return getTimerInterval(); }

    /** The service's reply to the last check that reached it, or nullptr. */
    const juce::XmlElement* getLastReply() const noexcept   { return lastReply.get(); }

private:
    class Worker;

    void timerCallback() override;
    void finished (const VersionCheck::Outcome& outcome);

    const OutcomeHandler onOutcome;
    std::unique_ptr<Worker> worker;
    std::shared_ptr<const juce::XmlElement> lastReply;
    int periodMs = VersionCheck::firstPeriodMs;

    JUCE_DECLARE_WEAK_REFERENCEABLE (VersionCheckSchedule)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VersionCheckSchedule)
};
