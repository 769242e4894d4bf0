#pragma once

#include "core/settings/SettingsStore.h"

/** At start-up old results are not shown: when the current machine's update
    list was last written an hour ago or earlier, it is deleted together with
    the machine's inventory, and the machine's scan details are replaced by
    details that only record this (UpdateCheck "cleared"). A younger list, and
    every other file, is kept. The details are written only when the list
    was deleted; failures are ignored. Any thread.
*/
namespace StaleResults
{
    inline constexpr juce::int64 maxAgeSeconds = 60 * 60;

    void purge (const SettingsStore& settings, juce::Time now);
}
