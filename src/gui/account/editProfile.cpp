#include "gui/account/editProfile.h"

#include "gui/account/AccountDialog.h"
#include "gui/desktop/Dialogs.h"
#include "gui/look/FormLook.h"

editProfile::editProfile (const AppContext& appContext)
    : context (appContext)
{
    setName ("editProfile");

    const auto profile = context.settings.readProfile();

    eMail.setText (profile.email, false);
    eMail.setTooltip ("Email address associated with your Cobaltline account");
    saveChangesButton.setName ("saveChanges");
    saveChangesButton.setTooltip ("Click here to save your profile changes.");
    firstName.setTooltip ("First Name");
    lastName.setTooltip ("Last Name");
    password.setTooltip ("Enter your password to save changes.");
    cancel.setName ("cancel");
    cancel.setTooltip ("Cancel edits and close this window.");

    for (auto* field : { &eMail, &firstName, &lastName, &password })
        FormLook::setUpField (*field);

    for (auto* label : { &labelEMail, &labelFirstName, &labelLastName, &labelPassword })
        FormLook::setUpLabel (*label);

    FormLook::setUpDeveloperQuestion (betaLabel, developerYesButton, developerNoButton);

    for (auto* child : std::initializer_list<juce::Component*> {
             &eMail, &labelEMail, &saveChangesButton, &firstName, &labelFirstName, &lastName, &labelLastName,
             &password, &labelPassword, &developerYesButton, &developerNoButton, &betaLabel, &cancel })
        addAndMakeVisible (child);

    for (auto* button : { &saveChangesButton, &cancel })
        button->addListener (this);

    setSize (477, 240);

    // The account as the service holds it, asked for with the stored address
    // and password; whatever comes back (or nothing) gives the fields.
    AccountDialog::send (waiting, context, ViewProfileRequest { profile.email, profile.password },
                         [this] (const AccountReply& reply) { showAccount (reply.account); });
}

editProfile::~editProfile()
{
    for (auto* button : { &saveChangesButton, &cancel })
        button->removeListener (this);
}

void editProfile::resized()
{
    eMail.setBounds (160, 10, 210, 20);
    labelEMail.setBounds (10, 10, 140, 20);
    saveChangesButton.setBounds (160, 210, 90, 20);
    firstName.setBounds (160, 40, 210, 20);
    labelFirstName.setBounds (40, 40, 119, 20);
    lastName.setBounds (160, 70, 210, 20);
    labelLastName.setBounds (40, 70, 119, 20);
    password.setBounds (160, 180, 210, 20);
    labelPassword.setBounds (40, 180, 119, 20);
    developerYesButton.setBounds (160, 150, 50, 20);
    developerNoButton.setBounds (210, 150, 50, 20);
    betaLabel.setBounds (160, 100, 260, 50);
    cancel.setBounds (280, 210, 90, 20);
}

void editProfile::buttonClicked (juce::Button* button)
{
    if (button == &saveChangesButton)
    {
        saveChanges();
    }
    else if (button == &cancel)
    {
        if (auto* window = Dialogs::findWindowOf (*this))
            window->exitModalState (0);
    }
}

void editProfile::showAccount (const AccountDetails& account)
{
    userId = account.userId;
    firstName.setText (account.firstName, false);
    lastName.setText (account.lastName, false);

    // An unknown answer leaves both off.
    developerYesButton.setToggleState (account.isDeveloper == true, juce::dontSendNotification);
    developerNoButton.setToggleState (account.isDeveloper == false, juce::dontSendNotification);
}

void editProfile::saveChanges()
{
    checkConnectionThen (waiting, context, [this] { sendChanges(); });
}

void editProfile::sendChanges()
{
    // Nothing is tested here: the service says what it takes.
    EditProfileRequest request;
    request.oldEmail = context.settings.readProfile().email;
    request.email = eMail.getText();
    request.password = password.getText();
    request.firstName = firstName.getText();
    request.lastName = lastName.getText();
    request.isDeveloper = ! developerNoButton.getToggleState();
    request.userId = userId;

    AccountDialog::send (waiting, context, request, [this, newEmail = request.email] (const AccountReply& reply)
    {
        changesSent (reply, newEmail);
    });
}

void editProfile::changesSent (const AccountReply& reply, const juce::String& newEmail)
{
    const auto outcome = AccountDialog::readReply (reply, context.desktop);

    if (outcome.kind != ReplyKind::success)
        return;

    // The new address with the stored password and machine name: the password
    // typed here is never stored.
    auto profile = context.settings.readProfile();
    profile.email = newEmail;
    AccountDialog::storeProfile (context, profile);

    AccountDialog::closeThenShow (*this, 1, context.desktop, makeReplyAlert (outcome));
}
