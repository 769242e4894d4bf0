#include "gui/prefs/SettingsPage.h"

#include "core/settings/SettingsStore.h"
#include "gui/desktop/Dialogs.h"
#include "gui/look/Palette.h"

namespace SettingsPage
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
}

bool saveAndClose (juce::Component& page, const juce::XmlElement& document, const juce::File& file,
                   DesktopServices& desktop)
{
    if (! SettingsStore::writeDocument (document, file))
    {
        desktop.showAlert (AlertRequest::ok (notSavedTitle,
                                             "Cobaltline could not write " + file.getFullPathName()
                                                 + ". Please check that the disk has free space and that the "
                                                   "folder can be written to, then save again.",
                                             AlertIcon::warning));
        return false;
    }

    if (auto* window = Dialogs::findWindowOf (page))
        window->exitModalState (0);

    return true;
}
}
