#pragma once

#include "core/context/AppContext.h"
#include "gui/desktop/ComponentTask.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The forgotten-password dialog: "Get Reset Code" asks the service to mail a
    code to the address; "Reset Password" sends the address, a new password
    (twice, by the entry rules) and the code, and stores the address and the
    new password when the service accepts. It stays open until the user
    closes it, and ignores input while it waits for the service.
*/
class forgotPassword final : public juce::Component,
                             private juce::Button::Listener
{
public:
    /** Fills the address from the profile; the context must outlive the dialog. */
    explicit forgotPassword (const AppContext& context);
    ~forgotPassword() override;

    void resized() override;

    static constexpr const char* windowTitle = "Forgotten Password Reset";

private:
    void buttonClicked (juce::Button* button) override;
    void sendCode();
    void resetPassword();
    void sendReset();

    const AppContext context;

    juce::TextEditor eMail { "eMail" };
    juce::Label labelEMail { "labelEMail", "Email:" };
    juce::TextEditor password { "password", (juce::juce_wchar) 0x2022 };
    juce::Label labelPassword { "labelPassword", "New Password:" };
    juce::Label labelPasswordRepeat { "labelPasswordRepeat", "New Password (again):" };
    juce::TextEditor passwordRepeat { "passwordRepeat", (juce::juce_wchar) 0x2022 };
    juce::TextButton resetPasswordButton { "Reset Password" };
    juce::TextButton sendCodeButton { "Get Reset Code" };
    juce::Label labelResetCode { "labelResetCode", "Reset Code:" };
    juce::TextEditor resetCode { "resetCode", (juce::juce_wchar) 0x2022 };
    ComponentTask waiting { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (forgotPassword)
};
