#include "gui/prefs/cobaltlinePrefs_Profile.h"

#include "core/settings/MachineNameRule.h"
#include "gui/account/editProfile.h"
#include "gui/account/forgotPassword.h"
#include "gui/desktop/Dialogs.h"
#include "gui/look/FormLook.h"
#include "gui/prefs/SettingsPage.h"

cobaltlinePrefs_Profile::cobaltlinePrefs_Profile (const AppContext& appContext)
    : context (appContext)
{
    setName ("cobaltlinePrefs_Profile");

    followFile();
    email.setTooltip ("Enter the email address associated with your Cobaltline account");
    password.setTooltip ("Enter the password associated with your Cobaltline account.");
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

void cobaltlinePrefs_Profile::followFile()
{
    const auto profile = context.settings.readProfile();

    const auto follow = [this] (juce::TextEditor& field, const juce::String& fileValue)
    {
        if (const auto text = edited.follow (field.getName(), fileValue, field.getText()); text != field.getText())
            field.setText (text, false);
    };

    // The password field shows the password deciphered: an undecipherable one shows as empty.
    follow (email, profile.email);
    follow (password, profile.password);
    follow (machineName, profile.machineName);
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
    // What the user typed is taken as typed; a field left alone keeps the
    // file's newest value, which a dialog may have written meanwhile.
    const auto stored = context.settings.readProfile();
    const auto toSave = [this] (const juce::TextEditor& field, const juce::String& storedValue)
    {
        return edited.toSave (field.getName(), field.getText(), storedValue);
    };

    const Profile profile { toSave (machineName, stored.machineName),
                            toSave (email, stored.email),
                            toSave (password, stored.password) };

    // Only a name that would lead out of the data folder is refused.
    if (! MachineNameRule::isSafe (profile.machineName))
    {
        context.desktop.showAlert (MachineNameRule::makeRefusalAlert());
        return;
    }

    if (! SettingsPage::closeIfSaved (*this, context.settings.writeProfile (profile),
                                      context.settings.getProfileFile(), context.desktop))
        return;

    // The fields show what the file now holds.
    followFile();
}

void cobaltlinePrefs_Profile::launchAccountDialog (std::unique_ptr<juce::Component> dialog, const juce::String& title)
{
    // The dialog may store a new password or address: the page follows when it closes.
    Dialogs::launch (std::move (dialog), title, 0, [page = SafePointer<cobaltlinePrefs_Profile> (this)] (int)
    {
        if (page != nullptr)
            page->followFile();
    });
}

void cobaltlinePrefs_Profile::openForgotPassword()
{
    launchAccountDialog (std::make_unique<::forgotPassword> (context), ::forgotPassword::windowTitle);
}

void cobaltlinePrefs_Profile::openEditProfile()
{
    // The page waits for the check; the dialog then asks the service for the
    // account by itself, once it is open.
    checkConnectionThen (connectionWait, context, [this]
    {
        launchAccountDialog (std::make_unique<::editProfile> (context), ::editProfile::windowTitle);
    });
}
