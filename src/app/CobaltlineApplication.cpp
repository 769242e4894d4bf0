#include "app/CobaltlineApplication.h"

void CobaltlineApplication::initialise (const juce::String&)
{
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
