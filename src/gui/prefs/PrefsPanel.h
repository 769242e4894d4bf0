#pragma once

#include "core/context/AppContext.h"

#include <juce_gui_extra/juce_gui_extra.h>

/** The preferences window's panel, with the pages "Profile" and "Paths".
    Each navigation bar owns one; it outlives the dialog that shows it, so
    what was typed stays until it is saved, the page is left, or the program
    ends. Building it installs the program's shared look.
*/
class PrefsPanel final : public juce::PreferencesPanel
{
public:
    /** Everything in the context must outlive the panel. */
    explicit PrefsPanel (const AppContext& context);

    juce::Component* createComponentForPage (const juce::String& pageName) override;

    /** Shows the panel in the "Preferences" window, on the page shown last.
        The page first brings the fields the user has not edited in line with
        its settings file, which may have changed since it was last shown.
    */
    void show();

    /** The name of the page shown now (its page button is the one switched on). */
    juce::String getCurrentPageName() const;

    static constexpr const char* profilePage = "Profile";
    static constexpr const char* pathsPage = "Paths";

private:
    const AppContext context;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PrefsPanel)
};
