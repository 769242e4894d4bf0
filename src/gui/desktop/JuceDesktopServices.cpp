#include "gui/desktop/JuceDesktopServices.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    juce::KeyPress toKeyPress (AlertKey key)
    {
        switch (key)
        {
            case AlertKey::returnKey:  return juce::KeyPress (juce::KeyPress::returnKey);
            case AlertKey::escapeKey:  return juce::KeyPress (juce::KeyPress::escapeKey);
            case AlertKey::none:       break;
        }

        return {};
    }

    juce::MessageBoxIconType toIconType (AlertIcon icon)
    {
        return icon == AlertIcon::warning ? juce::MessageBoxIconType::WarningIcon
                                          : juce::MessageBoxIconType::InfoIcon;
    }
}

int JuceDesktopServices::showAlert (const AlertRequest& request)
{
    JUCE_ASSERT_MESSAGE_THREAD

    // Centred over the window the user is working in.
    juce::AlertWindow window (request.title, request.message, toIconType (request.icon),
                              juce::TopLevelWindow::getActiveTopLevelWindow());

    for (const auto& button : request.buttons)
        window.addButton (button.text, button.result, toKeyPress (button.key));

    // A button bound to Escape is pressed by it before this is looked at.
    window.setEscapeKeyCancels (request.escapeKeyCancels);

    // When the alert closes, the window that had the user's attention (a
    // dialog over the preferences, say) is put back in front: a window
    // manager may otherwise give the front to another window of the program.
    const juce::Component::SafePointer<juce::Component> inFront (juce::Component::getCurrentlyModalComponent());
    const auto result = window.runModalLoop();

    if (inFront != nullptr)
        inFront->toFront (true);

    return result;
}

bool JuceDesktopServices::openUrl (const juce::URL& url)
{
    return url.launchInDefaultBrowser();
}

juce::File JuceDesktopServices::chooseFolder (const juce::String& title, const juce::File& initialFolder)
{
    JUCE_ASSERT_MESSAGE_THREAD

    // On Linux the platform's chooser (zenity or kdialog) is another program,
    // and the message loop keeps running while it is up: an invisible modal
    // component keeps the user from the program's windows meanwhile, so that
    // nothing the chooser was asked for can go away under it.
    juce::Component blocker;
    blocker.enterModalState (false);

    juce::FileChooser chooser (title, initialFolder, {}, true);
    const auto chosen = chooser.browseForDirectory() ? chooser.getResult() : juce::File();

    blocker.exitModalState (0);
    return chosen;
}
