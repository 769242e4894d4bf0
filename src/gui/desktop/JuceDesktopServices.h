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

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceDesktopServices)
};
