#pragma once

#include "core/platform/DesktopServices.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** A hyperlink whose click opens its address through the desktop services,
    like every other page the program opens (JUCE's own link would launch the
    browser itself).
*/
class BrowserLink final : public juce::HyperlinkButton
{
public:
    /** The desktop must outlive the link. */
    BrowserLink (const juce::String& linkText, const juce::URL& linkAddress, DesktopServices& desktop)
        : juce::HyperlinkButton (linkText, {}), address (linkAddress)
    {
        setTooltip (address.toString (true));
        onClick = [this, &desktop] { desktop.openUrl (address); };
    }

    const juce::URL& getAddress() const noexcept   { return address; }

private:
    const juce::URL address;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BrowserLink)
};
