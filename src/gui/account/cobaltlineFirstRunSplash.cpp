#include "gui/account/cobaltlineFirstRunSplash.h"

#include "gui/account/AccountDialog.h"
#include "gui/account/cobaltlineSignUp.h"
#include "gui/desktop/Dialogs.h"
#include "gui/look/Palette.h"

cobaltlineFirstRunSplash::cobaltlineFirstRunSplash (const AppContext& appContext)
    : context (appContext),
      header (AccountDialog::headerImage())
{
    setName ("cobaltlineFirstRunSplash");
    signUp.setName ("signUp");

    firstRunHeader.setFont (juce::Font (18.0f, juce::Font::bold));
    backupWarning.setFont (juce::Font (12.0f, juce::Font::plain));

    for (auto* label : { &firstRunHeader, &backupWarning })
    {
        label->setJustificationType (juce::Justification::centred);
        label->setEditable (false, false, false);
        label->setColour (juce::Label::textColourId, Palette::formLabel);
    }

    for (auto* child : std::initializer_list<juce::Component*> { &signUp, &existingUser, &firstRunHeader, &backupWarning })
        addAndMakeVisible (child);

    for (auto* button : { &signUp, &existingUser })
        button->addListener (this);

    setSize (477, 220);
}

cobaltlineFirstRunSplash::~cobaltlineFirstRunSplash()
{
    for (auto* button : { &signUp, &existingUser })
        button->removeListener (this);
}

void cobaltlineFirstRunSplash::launch (const AppContext& context, std::function<void (int)> onClosed)
{
    // Closing it by its own means counts as "Existing User".
    Dialogs::launch (std::make_unique<cobaltlineFirstRunSplash> (context), windowTitle, existingUserResult,
                     std::move (onClosed));
}

bool cobaltlineFirstRunSplash::isForNewUser (const SettingsStore& settings)
{
    return settings.isNewUser();
}

void cobaltlineFirstRunSplash::paint (juce::Graphics& g)
{
    AccountDialog::paintHeader (g, header);
}

void cobaltlineFirstRunSplash::resized()
{
    signUp.setBounds (160, 120, 150, 22);
    existingUser.setBounds (160, 160, 150, 22);
    firstRunHeader.setBounds (10, 80, 457, 20);
    backupWarning.setBounds (10, 200, 457, 12);
}

void cobaltlineFirstRunSplash::buttonClicked (juce::Button* button)
{
    auto* window = Dialogs::findWindowOf (*this);

    if (button == &signUp)
    {
        if (window != nullptr)
            window->exitModalState (signUpResult);

        // The splash is deleted only after this handler has returned.
        Dialogs::launch (std::make_unique<cobaltlineSignUp> (context), cobaltlineSignUp::windowTitle);
    }
    else if (button == &existingUser)
    {
        if (window != nullptr)
            window->exitModalState (existingUserResult);
    }
}
