#pragma once

#include "core/context/AppContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The application's single main window.

    Building it creates the defaults files in the data folder, before the
    content is built; closing it asks the application to quit.
*/
class MainAppWindow final : public juce::DocumentWindow
{
public:
    /** Everything in the context must outlive the window. */
    explicit MainAppWindow (const AppContext& context);

    void closeButtonPressed() override;

    /** What the first-run decision gave when the window was built. */
    bool wantedFirstRunSplash() const noexcept   { return firstRunSplashWanted; }

private:
    const AppContext context;
    juce::TooltipWindow tooltipWindow;
    bool firstRunSplashWanted = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainAppWindow)
};
