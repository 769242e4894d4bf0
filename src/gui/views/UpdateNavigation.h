#pragma once

#include "core/context/AppContext.h"
#include "gui/desktop/ComponentTask.h"
#include "gui/prefs/PrefsPanel.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The bar of four buttons at the top of each tab: "Scan" starts a scan,
    "Export" saves this machine's scan results as a file, "Import" compares
    another machine's exported results with this one's, "Preferences" opens
    the preferences window.
*/
class UpdateNavigation final : public juce::Component,
                               private juce::Button::Listener
{
public:
    /** Everything in the context must outlive the bar. */
    explicit UpdateNavigation (const AppContext& context);
    ~UpdateNavigation() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The bar's own preferences panel. */
    PrefsPanel& getPrefsPanel() noexcept   { return prefsPanel; }

private:
    void buttonClicked (juce::Button* button) override;
    void startScan();
    void showPreferences();
    void exportProfile();
    void importProfile();

    const AppContext context;

    juce::ImageButton scan { "scan" };
    juce::Label scanLabel { "scanLabel", "Scan" };
    juce::ImageButton exportButton { "exportButton" };
    juce::Label exportLabel { "exportLabel", "Export" };
    juce::ImageButton import { "import" };
    juce::Label importLabel { "importLabel", "Import" };
    juce::ImageButton prefs { "prefs" };
    juce::Label prefsLabel { "prefsLabel", "Preferences" };

    juce::Image leftCap, rightCap, middleTile;
    PrefsPanel prefsPanel;
    ComponentTask work { *this };   // the check before a scan, an export, an import

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UpdateNavigation)
};
