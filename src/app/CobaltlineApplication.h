#pragma once

#include "core/context/AppContext.h"
#include "gui/desktop/JuceDesktopServices.h"
#include "gui/desktop/ModalWindowOrder.h"
#include "gui/desktop/WineRepaints.h"
#include "gui/main/MainAppWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The application object: it owns what every window shares (the settings
    store, the service's address, the desktop services) and the main window,
    and hands the shared things down to the windows it makes.
*/
class CobaltlineApplication final : public juce::JUCEApplication
{
public:
    CobaltlineApplication() = default;

    const juce::String getApplicationName() override      { return JUCE_APPLICATION_NAME_STRING; }
    const juce::String getApplicationVersion() override   { return JUCE_APPLICATION_VERSION_STRING; }
    bool moreThanOneInstanceAllowed() override            { return true; }

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String&) override  {}
    void systemRequestedQuit() override;
    void suspended() override  {}
    void resumed() override    {}

private:
    const SettingsStore settingsStore { SettingsStore::getDefaultDataFolder() };
    const ServiceEndpoint service { ServiceEndpoint::fromBuildSettings() };
    JuceDesktopServices desktopServices;
    const AppContext context { settingsStore, service, desktopServices, Clock::system(), JUCE_APPLICATION_VERSION_STRING };
    std::unique_ptr<MainAppWindow> mainWindow;
    std::unique_ptr<WineRepaints> wineRepaints;
    std::unique_ptr<ModalWindowOrder> modalWindowOrder;
};
