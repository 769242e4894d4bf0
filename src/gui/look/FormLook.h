#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** How the forms of the preference pages and the account dialogs look. */
namespace FormLook
{
    /** A field's label: 14-point bold, right-aligned, not editable, 0xffdadada. */
    void setUpLabel (juce::Label& label);

    /** A text field: single line (Return adds no line), caret shown, context menu on. */
    void setUpField (juce::TextEditor& field);

    /** The pre-release question with its "Yes" and "No" toggles (one radio group). */
    void setUpDeveloperQuestion (juce::Label& question, juce::ToggleButton& yes, juce::ToggleButton& no);
}
