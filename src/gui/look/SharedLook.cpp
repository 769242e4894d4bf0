#include "gui/look/SharedLook.h"

#include "gui/look/Palette.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace SharedLook
{
void install()
{
    auto& look = juce::LookAndFeel::getDefaultLookAndFeel();

    // JUCE draws no text at all with a default face that is not installed
    // (as on most Linux systems), so the face is only asked for where it exists.
    if (juce::Font::findAllTypefaceNames().contains (typefaceName))
        look.setDefaultSansSerifTypefaceName (typefaceName);

    look.setColour (juce::TextButton::buttonColourId, Palette::button);
    look.setColour (juce::TextButton::buttonOnColourId, Palette::buttonOn);
    look.setColour (juce::TextButton::textColourOnId, Palette::buttonTextOn);
    look.setColour (juce::TextButton::textColourOffId, Palette::buttonTextOff);
    look.setColour (juce::ComboBox::backgroundColourId, Palette::comboBox);
    look.setColour (juce::ComboBox::buttonColourId, Palette::comboBox);
    look.setColour (juce::ComboBox::arrowColourId, Palette::comboBoxArrow);
    look.setColour (juce::ComboBox::textColourId, Palette::comboBoxText);
    look.setColour (juce::DrawableButton::backgroundColourId, Palette::pageButton);
    look.setColour (juce::DrawableButton::backgroundOnColourId, Palette::pageButtonOn);
    look.setColour (juce::DrawableButton::textColourId, Palette::pageButtonText);
    look.setColour (juce::DrawableButton::textColourOnId, Palette::pageButtonText);
    look.setColour (juce::TextEditor::textColourId, Palette::editorText);
    look.setColour (juce::TextEditor::backgroundColourId, Palette::editorBackground);
    look.setColour (juce::TextEditor::highlightColourId, Palette::editorHighlight);
    look.setColour (juce::TextEditor::outlineColourId, Palette::editorOutline);
    look.setColour (juce::CaretComponent::caretColourId, Palette::caret);
    look.setColour (juce::ListBox::backgroundColourId, Palette::listBackground);
    look.setColour (juce::ListBox::outlineColourId, Palette::listOutline);
    look.setColour (juce::ListBox::textColourId, Palette::listText);
}
}
