#include "gui/look/FormLook.h"

#include "gui/look/Palette.h"

namespace FormLook
{
void setUpLabel (juce::Label& label)
{
    label.setFont (juce::Font (14.0f, juce::Font::bold));
    label.setJustificationType (juce::Justification::centredRight);
    label.setEditable (false, false, false);
    label.setColour (juce::Label::textColourId, Palette::formLabel);
}

void setUpField (juce::TextEditor& field)
{
    field.setMultiLine (false);
    field.setReturnKeyStartsNewLine (false);
    field.setReadOnly (false);
    field.setCaretVisible (true);
    field.setPopupMenuEnabled (true);

    // Escape reaches the dialog, which it closes, also while a field is being typed in.
    field.setEscapeAndReturnKeysConsumed (false);
}

void setUpDeveloperQuestion (juce::Label& question, juce::ToggleButton& yes, juce::ToggleButton& no)
{
    question.setFont (juce::Font (14.0f, juce::Font::plain));
    question.setJustificationType (juce::Justification::topLeft);
    question.setEditable (false, false, false);
    question.setColour (juce::Label::textColourId, Palette::formLabel);

    yes.setName ("developerYesButton");
    no.setName ("developerNoButton");

    for (auto* toggle : { &yes, &no })
    {
        toggle->setRadioGroupId (1);
        toggle->setColour (juce::ToggleButton::textColourId, Palette::formLabel);
    }
}
}
