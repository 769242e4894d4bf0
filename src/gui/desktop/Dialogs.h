#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The program's secondary windows: JUCE dialog windows launched
    asynchronously, modal, owning their content, with the program's background,
    JUCE's own title bar, not resizable, closed by Escape.
*/
namespace Dialogs
{
    /** Opens the content (given its size) in a new dialog window and returns
        at once; the window deletes itself and its content when closed.
    */
    juce::DialogWindow* launch (std::unique_ptr<juce::Component> content, const juce::String& title);

    /** The dialog window that holds a component, or nullptr. */
    juce::DialogWindow* findWindowOf (juce::Component& component);
}
