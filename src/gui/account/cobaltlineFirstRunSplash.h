#pragma once

#include "core/context/AppContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The greeting at a start without a profile: "New User - Sign Up" closes it
    with 0 and opens the sign-up dialog; "Existing User" (like Escape and the
    close button) closes it with 1.
*/
class cobaltlineFirstRunSplash final : public juce::Component,
                                       private juce::Button::Listener
{
public:
    /** The context must outlive the splash and the sign-up dialog it opens. */
    explicit cobaltlineFirstRunSplash (const AppContext& context);
    ~cobaltlineFirstRunSplash() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Opens the splash in its dialog window and returns at once; onClosed,
        when given, gets the result the window closes with.
    */
    static void launch (const AppContext& context, std::function<void (int)> onClosed = {});

    /** Whether the user is new to the program, the splash's audience: no
        Profile.xml exists yet (its content does not count).
    */
    static bool isForNewUser (const SettingsStore& settings);

    static constexpr const char* windowTitle = "Cobaltline - First Run";
    static constexpr int signUpResult = 0;
    static constexpr int existingUserResult = 1;

private:
    void buttonClicked (juce::Button* button) override;

    const AppContext context;
    const juce::Image header;

    juce::TextButton signUp { "New User - Sign Up" };
    juce::TextButton existingUser { "Existing User" };
    juce::Label firstRunHeader { "firstRunHeader", "First Run - Choose An Option Below" };
    juce::Label backupWarning { "backupWarning", "IMPORTANT: Remember to back up your data before you install new "
                                                 "plugin versions." };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (cobaltlineFirstRunSplash)
};
