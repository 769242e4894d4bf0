#include "gui/desktop/JuceDesktopServices.h"

#include "gui/desktop/ModalWindowOrder.h"

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

    /** An alert that keeps the windows under it in order when JUCE brings it forward. */
    class ProgramAlert final : public juce::AlertWindow
    {
    public:
        using juce::AlertWindow::AlertWindow;

        void broughtToFront() override
        {
            juce::AlertWindow::broughtToFront();
            ModalWindowOrder::restackSoon();
        }
    };

    /** Keeps the user from the program's windows while a chooser is up.

        zenity and kdialog are other programs, and the message loop keeps
        running while they are up; JUCE's own chooser is a modal window, but
        the window it was opened from must stay blocked when it closes, until
        the caller has the answer. So an invisible modal component stands in
        front of the windows meanwhile: a child of the window in front, with
        no size. It must not be a component of its own on no window: JUCE,
        bringing the modal windows forward, would bring the window in front
        forward, find the modal component on another top-level component and
        bring the modal windows forward again, for ever (a stack overflow as
        soon as the chooser closed or was clicked).
    */
    class ChooserBlocker
    {
    public:
        ChooserBlocker()
        {
            if (auto* front = windowInFront())
            {
                host = front;
                front->addChildComponent (blocker);
                blocker.enterModalState (false);
            }
        }

        ~ChooserBlocker()
        {
            blocker.exitModalState (0);

            if (host != nullptr)
                host->removeChildComponent (&blocker);

            ModalWindowOrder::restack();
        }

    private:
        static juce::Component* windowInFront()
        {
            if (auto* modal = juce::Component::getCurrentlyModalComponent())
                return modal->getTopLevelComponent();

            if (auto* active = juce::TopLevelWindow::getActiveTopLevelWindow())
                return active;

            auto& desktop = juce::Desktop::getInstance();
            return desktop.getNumComponents() > 0 ? desktop.getComponent (desktop.getNumComponents() - 1) : nullptr;
        }

        juce::Component blocker;
        juce::Component::SafePointer<juce::Component> host;

        JUCE_DECLARE_NON_COPYABLE (ChooserBlocker)
    };
}

int JuceDesktopServices::showAlert (const AlertRequest& request)
{
    JUCE_ASSERT_MESSAGE_THREAD

    // Centred over the window the user is working in.
    ProgramAlert window (request.title, request.message, toIconType (request.icon),
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

    ModalWindowOrder::restack();

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

    const ChooserBlocker blocker;
    juce::FileChooser chooser (title, initialFolder, {}, true);
    return chooser.browseForDirectory() ? chooser.getResult() : juce::File();
}

juce::File JuceDesktopServices::chooseFileToSave (const juce::String& title, const juce::File& initialFile,
                                                  const juce::String& patterns)
{
    JUCE_ASSERT_MESSAGE_THREAD

    const ChooserBlocker blocker;
    juce::FileChooser chooser (title, initialFile, patterns, true);
    return chooser.browseForFileToSave (true) ? chooser.getResult() : juce::File();
}

juce::File JuceDesktopServices::chooseFileToOpen (const juce::String& title, const juce::File& initialFolder,
                                                  const juce::String& patterns)
{
    JUCE_ASSERT_MESSAGE_THREAD

    const ChooserBlocker blocker;
    juce::FileChooser chooser (title, initialFolder, patterns, true);
    return chooser.browseForFileToOpen() ? chooser.getResult() : juce::File();
}

int JuceDesktopServices::showMenu (const std::vector<MenuEntry>& entries, ScreenArea screenArea)
{
    JUCE_ASSERT_MESSAGE_THREAD

    juce::PopupMenu menu;

    for (const auto& entry : entries)
        menu.addItem (entry.id, entry.text, entry.enabled);

    auto options = juce::PopupMenu::Options();

    if (! screenArea.isEmpty())
        options = options.withTargetScreenArea ({ screenArea.x, screenArea.y, screenArea.width, screenArea.height });

    const auto result = menu.showMenu (options);
    ModalWindowOrder::restack();
    return result;
}

void JuceDesktopServices::copyToClipboard (const juce::String& text)
{
    juce::SystemClipboard::copyTextToClipboard (text);
}
