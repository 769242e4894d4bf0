#pragma once

#include "app/JuceDesktopServices.h"
#include "app/MainAppWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

class CobaltlineApplication final : public juce::JUCEApplication
{
public:
    CobaltlineApplication() = default;

    const juce::String getApplicationName() override      { return "Cobaltline"; }
    const juce::String getApplicationVersion() override   { return "1.0.4"; }
    bool moreThanOneInstanceAllowed() override            { return true; }

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String&) override  {}
    void systemRequestedQuit() override;
    void suspended() override  {}
    void resumed() override    {}

private:
    JuceDesktopServices desktopServices;
    std::unique_ptr<MainAppWindow> mainWindow;
};
