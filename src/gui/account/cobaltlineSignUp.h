#pragma once

#include "core/context/AppContext.h"
#include "core/service/AccountRequests.h"
#include "gui/desktop/ComponentTask.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The sign-up dialog: a new user's names, e-mail address, password (twice),
    machine name and whether they run pre-release plug-ins. "Sign Up" checks
    the connection and the entries, registers the account with the service
    and, when it accepts, stores the profile and closes with 1. The dialog
    ignores input while it waits for the service.
*/
class cobaltlineSignUp final : public juce::Component,
                               private juce::Button::Listener
{
public:
    /** The context must outlive the dialog. */
    explicit cobaltlineSignUp (const AppContext& context);
    ~cobaltlineSignUp() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The dialog's window: title and content size. */
    static constexpr const char* windowTitle = "Cobaltline - Sign Up";

private:
    void buttonClicked (juce::Button* button) override;
    void signUp();
    void registerAccount();
    void accountRegistered (const AccountReply& reply, const Profile& profile);

    const AppContext context;
    const juce::Image header;

    juce::TextEditor eMail { "eMail" };
    juce::Label labelEMail { "labelEMail", "Email:" };
    juce::TextEditor password { "password", (juce::juce_wchar) 0x2022 };
    juce::Label labelPassword { "labelPassword", "Password:" };
    juce::TextEditor machineName { "machineName" };
    juce::Label labelMachineName { "labelMachineName", "Machine Name:" };
    juce::TextButton signUpButton { "Sign Up" };
    juce::Label labelPasswordRepeat { "labelPasswordRepeat", "Password (again):" };
    juce::TextEditor passwordRepeat { "passwordRepeat", (juce::juce_wchar) 0x2022 };
    juce::TextEditor firstName { "firstName" };
    juce::Label labelFirstName { "labelFirstName", "First Name:" };
    juce::TextEditor lastName { "lastName" };
    juce::Label labelLastName { "labelLastName", "Last Name:" };
    juce::Label signupHeader { "signupHeader", "New User Sign Up:" };
    juce::Label passwordHelp { "passwordHelp", "Help?" };
    juce::ToggleButton developerYesButton { "Yes" };
    juce::ToggleButton developerNoButton { "No" };
    juce::Label betaLabel { "betaLabel", "IMPORTANT: Are you running pre-release versions of any plugins not yet "
                                         "available to the public?" };
    ComponentTask waiting { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (cobaltlineSignUp)
};
