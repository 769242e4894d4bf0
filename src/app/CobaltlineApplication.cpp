#include "app/CobaltlineApplication.h"

#include <iostream>

namespace
{
    /** Whether windows can be opened: there is a screen to put them on (on
        Linux, DISPLAY names an X server that answered).
    */
    bool canOpenWindows()
    {
       #if JUCE_LINUX || JUCE_BSD
        // As for every X program, no DISPLAY means no display (JUCE alone
        // would try ":0.0", and might open the window on someone else's).
        if (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isEmpty())
            return false;
       #endif

        return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr;
    }
}

void CobaltlineApplication::initialise (const juce::String&)
{
    if (! canOpenWindows())
    {
        std::cerr << "Cobaltline needs a graphical display, and none could be opened "
                     "(is DISPLAY set to a running X server?)." << std::endl;
        setApplicationReturnValue (1);
        quit();
        return;
    }

    wineRepaints = std::make_unique<WineRepaints>();
    modalWindowOrder = std::make_unique<ModalWindowOrder>();
    mainWindow = std::make_unique<MainAppWindow> (context);
}

void CobaltlineApplication::shutdown()
{
    mainWindow = nullptr;
    modalWindowOrder = nullptr;
    wineRepaints = nullptr;
}

void CobaltlineApplication::systemRequestedQuit()
{
    quit();
}
