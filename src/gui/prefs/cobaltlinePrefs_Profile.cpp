#include "gui/prefs/cobaltlinePrefs_Profile.h"

#include "core/settings/MachineNameRule.h"
#include "gui/account/editProfile.h"
#include "gui/account/forgotPassword.h"
#include "gui/desktop/Dialogs.h"
#include "gui/look/FormLook.h"
#include "gui/prefs/SettingsPage.h"
#include "gui/desktop/ScopedWaitCursor.h"

cobaltlinePrefs_Profile::cobaltlinePrefs_Profile (const AppContext& appContext)
    : context (appContext),
      connectionCheck (appContext.service, appContext.desktop)
{
    setName ("cobaltlinePrefs_Profile");

    const auto profile = context.settings.loadProfile();

    email.setText (profile->getStringAttribute ("Email"), false);
    email.setTooltip ("Enter the email address associated with your Cobaltline account");
    password.setText (context.settings.decipherPassword (profile->getStringAttribute ("Password")), false);
    password.setTooltip ("Enter the password associated with your Cobaltline account.");
    machineName.setText (profile->getStringAttribute ("MachineName"), false);
    machineName.setTooltip ("Enter a unique name for this computer.");

    save.setName ("saveSettings");
    save.setTooltip ("Save login, password, and machine name settings.");
    forgotPassword.setName ("forgotPassword");
    forgotPassword.setTooltip ("Forgot your password (or just want to change it)?");
    editProfile.setName ("editProfile");
    editProfile.setTooltip ("Change your name, email address, \ror plugin data reporting settings.");

    for (auto* field : { &email, &password, &machineName })
        FormLook::setUpField (*field);

    for (auto* label : { &labelEMail, &labelPassword, &labelMachineName })
        FormLook::setUpLabel (*label);

    for (auto* child : std::initializer_list<juce::Component*> { &email, &labelEMail, &password, &labelPassword,
                                                                 &machineName, &labelMachineName,
                                                                 &save, &forgotPassword, &editProfile })
        addAndMakeVisible (child);

    for (auto* button : { &save, &forgotPassword, &editProfile })
        button->addListener (this);

    setSize (680, 390);
}

cobaltlinePrefs_Profile::~cobaltlinePrefs_Profile()
{
    for (auto* button : { &save, &forgotPassword, &editProfile })
        button->removeListener (this);
}

void cobaltlinePrefs_Profile::resized()
{
    email.setBounds (130, 30, 260, 20);
    labelEMail.setBounds (10, 30, 119, 20);
    password.setBounds (130, 60, 260, 20);
    labelPassword.setBounds (10, 60, 119, 20);
    machineName.setBounds (130, 90, 260, 20);
    labelMachineName.setBounds (10, 90, 119, 20);
    save.setBounds (130, 120, 120, 22);
    forgotPassword.setBounds (400, 60, 150, 20);
    editProfile.setBounds (270, 120, 120, 22);
}

void cobaltlinePrefs_Profile::buttonClicked (juce::Button* button)
{
    if (button == &save)
        saveSettings();
    else if (button == &forgotPassword)
        openForgotPassword();
    else if (button == &editProfile)
        openEditProfile();
}

void cobaltlinePrefs_Profile::saveSettings()
{
    // Taken as typed; only a name that would lead out of the data folder is refused.
    if (! MachineNameRule::isSafe (machineName.getText()))
    {
        context.desktop.showAlert (MachineNameRule::makeRefusalAlert());
        return;
    }

    const auto profile = context.settings.makeProfile (machineName.getText(), email.getText(), password.getText());
    SettingsPage::saveAndClose (*this, *profile, context.settings.getProfileFile(), context.desktop);
}

void cobaltlinePrefs_Profile::openForgotPassword()
{
    Dialogs::launch (std::make_unique<::forgotPassword> (context), ::forgotPassword::windowTitle);
}

void cobaltlinePrefs_Profile::openEditProfile()
{
    if (! checkConnectionWaiting (connectionCheck))
        return;

    // The dialog asks the service for the account while it is built.
    Dialogs::launch (std::make_unique<::editProfile> (context), ::editProfile::windowTitle);
}
