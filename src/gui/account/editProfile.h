#pragma once

#include "core/context/AppContext.h"
#include "core/service/AccountRequests.h"
#include "gui/desktop/ComponentTask.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The edit-profile dialog: the account's names, address and pre-release
    setting as the service holds them (asked for as the dialog opens), changed
    with "Save Changes" after the password is typed. On success the new
    address is stored with the stored password and machine name, and the
    dialog closes with 1; "Cancel" closes it with 0. The dialog ignores input
    while it waits for the service, the account's details included.
*/
class editProfile final : public juce::Component,
                          private juce::Button::Listener
{
public:
    /** Asks the service for the account's details and returns at once; the
        fields are filled when the reply comes (no alert on any failure: they
        stay empty). The context must outlive the dialog.
    */
    explicit editProfile (const AppContext& context);
    ~editProfile() override;

    void resized() override;

    static constexpr const char* windowTitle = "Edit Profile";

private:
    void buttonClicked (juce::Button* button) override;
    void showAccount (const AccountDetails& account);
    void saveChanges();
    void sendChanges();
    void changesSent (const AccountReply& reply, const juce::String& newEmail);

    const AppContext context;
    juce::String userId;

    juce::TextEditor eMail { "eMail" };
    juce::Label labelEMail { "labelEMail", "Email:" };
    juce::TextButton saveChangesButton { "Save Changes" };
    juce::TextEditor firstName { "firstName" };
    juce::Label labelFirstName { "labelFirstName", "First Name:" };
    juce::TextEditor lastName { "lastName" };
    juce::Label labelLastName { "labelLastName", "Last Name:" };
    juce::TextEditor password { "password", (juce::juce_wchar) 0x2022 };
    juce::Label labelPassword { "labelPassword", "Enter Password:" };
    juce::ToggleButton developerYesButton { "Yes" };
    juce::ToggleButton developerNoButton { "No" };
    juce::Label betaLabel { "betaLabel", "IMPORTANT: Are you running pre-release versions of any plugins not yet "
                                         "available to the public?" };
    juce::TextButton cancel { "Cancel" };
    ComponentTask waiting { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (editProfile)
};
