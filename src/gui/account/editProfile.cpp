#include "gui/account/editProfile.h"

#include "gui/account/AccountDialog.h"
#include "gui/desktop/Dialogs.h"
#include "gui/look/FormLook.h"
#include "gui/desktop/ScopedWaitCursor.h"

editProfile::editProfile (const AppContext& appContext)
    : context (appContext),
      connectionCheck (appContext.service, appContext.desktop)
{
    setName ("editProfile");

    // The account as the service holds it, asked for with the stored address
    // and password; whatever comes back (or nothing) gives the fields.
    const auto profile = context.settings.readProfile();
    reply = AccountDialog::send (context, ViewProfileRequest { profile.email, profile.password });

    const auto valueOf = [this] (const char* name)
    {
        return reply != nullptr ? getAttributeIgnoringCase (*reply, name) : juce::String();
    };

    userId = valueOf ("UserId");
    const auto isDeveloper = valueOf ("IsDeveloper");

    eMail.setText (profile.email, false);
    eMail.setTooltip ("Email address associated with your Cobaltline account");
    saveChangesButton.setName ("saveChanges");
    saveChangesButton.setTooltip ("Click here to save your profile changes.");
    firstName.setText (valueOf ("FirstName"), false);
    firstName.setTooltip ("First Name");
    lastName.setText (valueOf ("LastName"), false);
    lastName.setTooltip ("Last Name");
    password.setTooltip ("Enter your password to save changes.");
    cancel.setName ("cancel");
    cancel.setTooltip ("Cancel edits and close this window.");

    for (auto* field : { &eMail, &firstName, &lastName, &password })
        FormLook::setUpField (*field);

    for (auto* label : { &labelEMail, &labelFirstName, &labelLastName, &labelPassword })
        FormLook::setUpLabel (*label);

    FormLook::setUpDeveloperQuestion (betaLabel, developerYesButton, developerNoButton);

    // Compared exactly: anything but "1" or "0" leaves both off.
    developerYesButton.setToggleState (isDeveloper == "1", juce::dontSendNotification);
    developerNoButton.setToggleState (isDeveloper == "0", juce::dontSendNotification);

    for (auto* child : std::initializer_list<juce::Component*> {
             &eMail, &labelEMail, &saveChangesButton, &firstName, &labelFirstName, &lastName, &labelLastName,
             &password, &labelPassword, &developerYesButton, &developerNoButton, &betaLabel, &cancel })
        addAndMakeVisible (child);

    for (auto* button : { &saveChangesButton, &cancel })
        button->addListener (this);

    setSize (477, 240);
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

void editProfile::saveChanges()
{
    if (! checkConnectionWaiting (connectionCheck))
        return;

    // Nothing is tested here: the service says what it takes.
    EditProfileRequest request;
    request.oldEmail = context.settings.readProfile().email;
    request.email = eMail.getText();
    request.password = password.getText();
    request.firstName = firstName.getText();
    request.lastName = lastName.getText();
    request.isDeveloper = ! developerNoButton.getToggleState();
    request.userId = userId;

    reply = AccountDialog::send (context, request);
    const auto outcome = AccountDialog::readReply (reply.get(), context.desktop);

    if (outcome.kind != ReplyKind::success)
        return;

    // The new address with the stored password and machine name: the password
    // typed here is never stored.
    auto profile = context.settings.readProfile();
    profile.email = eMail.getText();
    AccountDialog::storeProfile (context, profile);

    AccountDialog::closeThenShow (*this, 1, context.desktop, makeReplyAlert (outcome));
}
