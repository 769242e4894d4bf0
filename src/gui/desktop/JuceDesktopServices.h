#pragma once

#include "core/platform/DesktopServices.h"

/** DesktopServices on JUCE's own windows: modal AlertWindows and the default browser. */
class JuceDesktopServices final : public DesktopServices
{
public:
    JuceDesktopServices() = default;

    int showAlert (const AlertRequest& request) override;
    bool openUrl (const juce::URL& url) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceDesktopServices)
};
