#include "gui/account/forgotPassword.h"

#include "core/account/EntryRules.h"
#include "gui/account/AccountDialog.h"
#include "gui/look/FormLook.h"

forgotPassword::forgotPassword (const AppContext& appContext)
    : context (appContext)
{
    setName ("forgotPassword");

    eMail.setText (context.settings.readProfile().email, false);
    eMail.setTooltip ("Enter the email address associated with your Cobaltline account");
    password.setTooltip (AccountDialog::passwordTooltip);
    passwordRepeat.setTooltip ("Enter your password again.");
    resetPasswordButton.setName ("resetPassword");
    resetPasswordButton.setTooltip ("Click to reset your password.");
    sendCodeButton.setName ("sendCode");
    sendCodeButton.setTooltip ("Click this button to recieve a Reset Code in your email, so you that you can reset "
                               "your password.");
    resetCode.setTooltip ("Reset code (required to reset password.) If you don't have one, click the "
                          "\"Get Reset Code\" button.");

    for (auto* field : { &eMail, &password, &passwordRepeat, &resetCode })
        FormLook::setUpField (*field);

    for (auto* label : { &labelEMail, &labelPassword, &labelPasswordRepeat, &labelResetCode })
        FormLook::setUpLabel (*label);

    for (auto* child : std::initializer_list<juce::Component*> { &eMail, &labelEMail, &password, &labelPassword,
                                                                 &labelPasswordRepeat, &passwordRepeat,
                                                                 &resetPasswordButton, &sendCodeButton,
                                                                 &labelResetCode, &resetCode })
        addAndMakeVisible (child);

    for (auto* button : { &resetPasswordButton, &sendCodeButton })
        button->addListener (this);

    setSize (477, 170);
}

forgotPassword::~forgotPassword()
{
    for (auto* button : { &resetPasswordButton, &sendCodeButton })
        button->removeListener (this);
}

void forgotPassword::resized()
{
    eMail.setBounds (160, 10, 210, 20);
    labelEMail.setBounds (10, 10, 140, 20);
    password.setBounds (160, 40, 210, 20);
    labelPassword.setBounds (10, 40, 140, 20);
    labelPasswordRepeat.setBounds (10, 70, 140, 20);
    passwordRepeat.setBounds (160, 70, 210, 20);
    resetPasswordButton.setBounds (160, 140, 120, 20);
    sendCodeButton.setBounds (380, 100, 90, 20);
    labelResetCode.setBounds (10, 100, 140, 20);
    resetCode.setBounds (160, 100, 210, 20);
}

void forgotPassword::buttonClicked (juce::Button* button)
{
    if (button == &sendCodeButton)
        sendCode();
    else if (button == &resetPasswordButton)
        resetPassword();
}

void forgotPassword::sendCode()
{
    checkConnectionThen (waiting, context, [this]
    {
        // The address goes as it is: the service says what it makes of it.
        AccountDialog::send (waiting, context, ForgotPasswordRequest { eMail.getText() }, [this] (const AccountReply& reply)
        {
            if (const auto outcome = AccountDialog::readReply (reply, context.desktop); outcome.kind == ReplyKind::success)
                context.desktop.showAlert (makeReplyAlert (outcome));
        });
    });
}

void forgotPassword::resetPassword()
{
    checkConnectionThen (waiting, context, [this] { sendReset(); });
}

void forgotPassword::sendReset()
{
    const auto problems = EntryRules::checkReset (eMail.getText(), password.getText(), passwordRepeat.getText(),
                                                  resetCode.getText());

    if (problems.any())
    {
        context.desktop.showAlert (EntryRules::makeAlert (problems));
        return;
    }

    const ResetPasswordRequest request { eMail.getText(), password.getText(), resetCode.getText() };

    AccountDialog::send (waiting, context, request, [this, request] (const AccountReply& reply)
    {
        const auto outcome = AccountDialog::readReply (reply, context.desktop);

        if (outcome.kind != ReplyKind::success)
            return;

        // The new password with the address it was reset for, for the machine stored before.
        AccountDialog::storeProfile (context, { context.settings.getMachineName(), request.email, request.password });
        context.desktop.showAlert (makeReplyAlert (outcome));
    });
}
