#include "app/Clock.h"

#include <atomic>

namespace Clock
{
namespace
{
    constexpr juce::int64 noOverride = std::numeric_limits<juce::int64>::min();
    std::atomic<juce::int64> overrideMillis { noOverride };
}

juce::Time now()
{
    const auto fixed = overrideMillis.load();
    return fixed == noOverride ? juce::Time::getCurrentTime() : juce::Time (fixed);
}

ScopedOverride::ScopedOverride (juce::Time fixedTime)
    : previous (overrideMillis.exchange (fixedTime.toMilliseconds()))
{
}

ScopedOverride::~ScopedOverride()
{
    overrideMillis.store (previous);
}
}
