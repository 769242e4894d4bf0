#include "gui/desktop/WineRepaints.h"

#if JUCE_WINDOWS
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #ifndef WIN32_LEAN_AND_MEAN
  #define WIN32_LEAN_AND_MEAN
 #endif
 #include <windows.h>
#endif

WineRepaints::WineRepaints()
{
    if (isRunningUnderWine())
        startTimerHz (60);
}

WineRepaints::~WineRepaints()
{
    stopTimer();
}

bool WineRepaints::isRunningUnderWine()
{
   #if JUCE_WINDOWS
    // Wine's ntdll exports its own version query; Windows' does not.
    if (auto* ntdll = GetModuleHandleA ("ntdll.dll"))
        return GetProcAddress (ntdll, "wine_get_version") != nullptr;
   #endif

    return false;
}

void WineRepaints::timerCallback()
{
    for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
        if (auto* peer = juce::ComponentPeer::getPeer (i))
            peer->performAnyPendingRepaintsNow();
}
