#include "app/CobaltlineApplication.h"

void CobaltlineApplication::initialise (const juce::String&)
{
    mainWindow = std::make_unique<MainAppWindow> (context);
}

void CobaltlineApplication::shutdown()
{
    mainWindow = nullptr;
}

void CobaltlineApplication::systemRequestedQuit()
{
    quit();
}
