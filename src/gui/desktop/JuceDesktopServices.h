#pragma once

#include "core/platform/DesktopServices.h"

/** DesktopServices on JUCE's own windows: modal AlertWindows, the default
    browser and the platform's folder chooser.
*/
class JuceDesktopServices final : public DesktopServices
{
public:
    JuceDesktopServices() = default;

    int showAlert (const AlertRequest& request) override;
    bool openUrl (const juce::URL& url) override;
    juce::File chooseFolder (const juce::String& title, const juce::File& initialFolder) override;
    juce::File chooseFileToSave (const juce::String& title, const juce::File& initialFile,
                                 const juce::String& patterns) override;
    juce::File chooseFileToOpen (const juce::String& title, const juce::File& initialFolder,
                                 const juce::String& patterns) override;
    int showMenu (const std::vector<MenuEntry>& entries, ScreenArea screenArea) override;
    void copyToClipboard (const juce::String& text) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceDesktopServices)
};
