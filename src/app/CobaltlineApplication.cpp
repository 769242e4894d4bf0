#include "app/CobaltlineApplication.h"

void CobaltlineApplication::initialise (const juce::String&)
{
    DesktopServices::install (&desktopServices);
    mainWindow = std::make_unique<MainAppWindow>();
}

void CobaltlineApplication::shutdown()
{
    mainWindow = nullptr;
    DesktopServices::install (nullptr);
}

void CobaltlineApplication::systemRequestedQuit()
{
    quit();
}
