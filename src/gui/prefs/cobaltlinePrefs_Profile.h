#pragma once

#include "core/context/AppContext.h"
#include "core/settings/EditedFields.h"
#include "gui/desktop/ComponentTask.h"
#include "gui/prefs/SettingsPage.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The "Profile" page of the preferences: the account's e-mail address and
    password and this computer's machine name, saved to Profile.xml (the
    password enciphered); and the ways to the account dialogs.
*/
class cobaltlinePrefs_Profile final : public juce::Component,
                                      public SettingsPage::FollowsItsFile,
                                      private juce::Button::Listener
{
public:
    /** Fills the fields from the profile; the context must outlive the page. */
    explicit cobaltlinePrefs_Profile (const AppContext& context);
    ~cobaltlinePrefs_Profile() override;

    void resized() override;
    void followFile() override;

private:
    void buttonClicked (juce::Button* button) override;
    void saveSettings();
    void openForgotPassword();
    void openEditProfile();
    void launchAccountDialog (std::unique_ptr<juce::Component> dialog, const juce::String& title);

    const AppContext context;
    EditedFields edited;

    juce::TextEditor email { "EMail" };
    juce::Label labelEMail { "labelEMail", "Email:" };
    juce::TextEditor password { "password", (juce::juce_wchar) 0x2022 };
    juce::Label labelPassword { "labelPassword", "Password:" };
    juce::TextEditor machineName { "machineName" };
    juce::Label labelMachineName { "labelMachineName", "Machine Name:" };
    juce::TextButton save { "Save Settings" };
    juce::TextButton forgotPassword { "Forgot / Change Password?" };
    juce::TextButton editProfile { "Edit Profile..." };
    ComponentTask connectionWait { *this };   // the check before "Edit Profile..."

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (cobaltlinePrefs_Profile)
};
