#include "core/platform/Clock.h"

namespace
{
    class SystemClock final : public Clock
    {
    public:
        juce::Time now() const override   { return juce::Time::getCurrentTime(); }
    };
}

const Clock& Clock::system()
{
    static const SystemClock clock;
    return clock;
}
