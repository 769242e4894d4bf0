#include "app/CobaltlineApplication.h"

void CobaltlineApplication::initialise (const juce::String&)
{
    wineRepaints = std::make_unique<WineRepaints>();
    mainWindow = std::make_unique<MainAppWindow> (context);
}

void CobaltlineApplication::shutdown()
{
    mainWindow = nullptr;
    wineRepaints = nullptr;
}

void CobaltlineApplication::systemRequestedQuit()
{
    quit();
}
