#include "gui/desktop/WineRepaints.h"

#include "core/platform/Wine.h"

WineRepaints::WineRepaints()
{
    if (isRunningUnderWine())
        startTimerHz (60);
}

WineRepaints::~WineRepaints()
{
    stopTimer();
}

void WineRepaints::timerCallback()
{
    for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
        if (auto* peer = juce::ComponentPeer::getPeer (i))
            peer->performAnyPendingRepaintsNow();
}
