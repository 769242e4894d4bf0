#include "core/platform/Wine.h"

#include <juce_core/juce_core.h>

#if JUCE_WINDOWS
 #include <windows.h>
#endif

bool isRunningUnderWine()
{
   #if JUCE_WINDOWS
    // Wine's ntdll exports its own version query; Windows' does not.
    if (auto* ntdll = GetModuleHandleA ("ntdll.dll"))
        return GetProcAddress (ntdll, "wine_get_version") != nullptr;
   #endif

    return false;
}
