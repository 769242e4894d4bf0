#include "gui/account/cobaltlineSignUp.h"

#include "core/account/EntryRules.h"
#include "gui/account/AccountDialog.h"
#include "gui/look/Palette.h"
#include "gui/look/FormLook.h"

cobaltlineSignUp::cobaltlineSignUp (const AppContext& appContext)
    : context (appContext),
      header (AccountDialog::headerImage())
{
    setName ("cobaltlineSignUp");

    eMail.setTooltip ("Enter the email address you want to use with your Cobaltline account");
    password.setTooltip (AccountDialog::passwordTooltip);
    machineName.setTooltip ("Pick a unique name for this computer.");
    signUpButton.setName ("signUp");
    passwordRepeat.setTooltip ("Enter your password again.");
    firstName.setTooltip ("Enter your first name.");
    lastName.setTooltip ("Enter your last name.");
    passwordHelp.setTooltip (AccountDialog::passwordTooltip);

    for (auto* field : { &eMail, &password, &machineName, &passwordRepeat, &firstName, &lastName })
        FormLook::setUpField (*field);

    for (auto* label : { &labelEMail, &labelPassword, &labelMachineName, &labelPasswordRepeat, &labelFirstName,
                         &labelLastName })
        FormLook::setUpLabel (*label);

    signupHeader.setFont (juce::Font (18.0f, juce::Font::bold));
    signupHeader.setJustificationType (juce::Justification::centred);
    passwordHelp.setFont (juce::Font (14.0f, juce::Font::plain));
    passwordHelp.setJustificationType (juce::Justification::centredLeft);

    for (auto* label : { &signupHeader, &passwordHelp })
    {
        label->setEditable (false, false, false);
        label->setColour (juce::Label::textColourId, Palette::formLabel);
    }

    FormLook::setUpDeveloperQuestion (betaLabel, developerYesButton, developerNoButton);
    developerNoButton.setToggleState (true, juce::dontSendNotification);

    for (auto* child : std::initializer_list<juce::Component*> {
             &eMail, &labelEMail, &password, &labelPassword, &machineName, &labelMachineName, &signUpButton,
             &labelPasswordRepeat, &passwordRepeat, &firstName, &labelFirstName, &lastName, &labelLastName,
             &signupHeader, &passwordHelp, &developerYesButton, &developerNoButton, &betaLabel })
        addAndMakeVisible (child);

    signUpButton.addListener (this);
    setSize (477, 430);
}

cobaltlineSignUp::~cobaltlineSignUp()
{
    signUpButton.removeListener (this);
}

void cobaltlineSignUp::paint (juce::Graphics& g)
{
    AccountDialog::paintHeader (g, header);
}

void cobaltlineSignUp::resized()
{
    eMail.setBounds (160, 170, 260, 20);
    labelEMail.setBounds (40, 170, 119, 20);
    password.setBounds (160, 200, 260, 20);
    labelPassword.setBounds (40, 200, 119, 20);
    machineName.setBounds (160, 260, 260, 20);
    labelMachineName.setBounds (40, 260, 119, 20);
    signUpButton.setBounds (160, 390, 130, 22);
    labelPasswordRepeat.setBounds (40, 230, 119, 20);
    passwordRepeat.setBounds (160, 230, 260, 20);
    firstName.setBounds (160, 110, 260, 20);
    labelFirstName.setBounds (40, 110, 119, 20);
    lastName.setBounds (160, 140, 260, 20);
    labelLastName.setBounds (40, 140, 119, 20);
    signupHeader.setBounds (10, 80, 457, 20);
    passwordHelp.setBounds (420, 200, 50, 20);
    developerYesButton.setBounds (160, 340, 50, 20);
    developerNoButton.setBounds (210, 340, 50, 20);
    betaLabel.setBounds (160, 290, 260, 50);
}

void cobaltlineSignUp::buttonClicked (juce::Button* button)
{
    if (button == &signUpButton)
        signUp();
}

void cobaltlineSignUp::signUp()
{
    checkConnectionThen (waiting, context, [this] { registerAccount(); });
}

void cobaltlineSignUp::registerAccount()
{
    const auto problems = EntryRules::checkSignUp ({ firstName.getText(), lastName.getText(), eMail.getText(),
                                                     password.getText(), passwordRepeat.getText(),
                                                     machineName.getText() });

    if (problems.any())
    {
        context.desktop.showAlert (EntryRules::makeAlert (problems));
        return;
    }

    RegisterRequest request;
    request.email = eMail.getText();
    request.password = password.getText();
    request.firstName = firstName.getText();
    request.lastName = lastName.getText();
    request.isDeveloper = ! developerNoButton.getToggleState();

    // What is stored on success is what was sent, whatever the fields hold by then.
    const Profile profile { machineName.getText(), request.email, request.password };

    AccountDialog::send (waiting, context, request, [this, profile] (const AccountReply& reply)
    {
        accountRegistered (reply, profile);
    });
}

void cobaltlineSignUp::accountRegistered (const AccountReply& reply, const Profile& profile)
{
    const auto outcome = AccountDialog::readReply (reply, context.desktop);

    if (outcome.kind != ReplyKind::success)
        return;

    AccountDialog::storeProfile (context, profile);

    AccountDialog::closeThenShow (*this, 1, context.desktop, makeReplyAlert (outcome));
}
