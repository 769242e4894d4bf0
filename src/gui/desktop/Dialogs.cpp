#include "gui/desktop/Dialogs.h"

#include "gui/desktop/ModalWindowOrder.h"
#include "gui/look/Palette.h"

namespace juce
{
    // JUCE's own dialogs ask this (it is not in a header): when the program has
    // an always-on-top window (the tooltip window is one), a dialog must be
    // one too, or a window manager may keep it under the other dialogs.
    bool juce_areThereAnyAlwaysOnTopWindows();
}

namespace Dialogs
{
namespace
{
    /** A dialog window whose Escape key and close button give a chosen result. */
    class ProgramDialog final : public juce::DialogWindow
    {
    public:
        ProgramDialog (const juce::String& title, int result)
            : juce::DialogWindow (title, Palette::windowBackground, true, true),
              closeResult (result)
        {
        }

        void closeButtonPressed() override   { exitModalState (closeResult); }

        bool escapeKeyPressed() override
        {
            exitModalState (closeResult);
            return true;
        }

        void broughtToFront() override
        {
            juce::DialogWindow::broughtToFront();
            ModalWindowOrder::restackSoon();
        }

    private:
        const int closeResult;
    };
}

juce::DialogWindow* launch (std::unique_ptr<juce::Component> content, const juce::String& title,
                            int closeResult, std::function<void (int)> onClosed)
{
    // Built in the order of JUCE's own dialog windows.
    auto window = std::make_unique<ProgramDialog> (title, closeResult);
    window->setContentOwned (content.release(), true);
    window->centreAroundComponent (nullptr, window->getWidth(), window->getHeight());
    window->setResizable (false, false);
    window->setUsingNativeTitleBar (false);
    window->setAlwaysOnTop (juce::juce_areThereAnyAlwaysOnTopWindows());

    // From here on the modal manager owns the window and deletes it when it closes.
    window->enterModalState (true, onClosed != nullptr ? juce::ModalCallbackFunction::create (std::move (onClosed)) : nullptr,
                             true);
    return window.release();
}

juce::DialogWindow* findWindowOf (juce::Component& component)
{
    return component.findParentComponentOfClass<juce::DialogWindow>();
}
}
