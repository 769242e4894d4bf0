#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** The program's secondary windows: dialog windows launched asynchronously,
    modal, owning their content, with the program's background, JUCE's own
    title bar, not resizable, closed by Escape and by their close button.
*/
namespace Dialogs
{
    /** Opens the content (given its size) in a new dialog window and returns
        at once; the window deletes itself and its content when it closes.
        Escape and the close button close it with closeResult; onClosed, when
        given, gets the result the window closed with.
    */
    juce::DialogWindow* launch (std::unique_ptr<juce::Component> content, const juce::String& title,
                                int closeResult = 0, std::function<void (int)> onClosed = {});

    /** The dialog window that holds a component, or nullptr. */
    juce::DialogWindow* findWindowOf (juce::Component& component);
}
