#pragma once

#include "core/platform/DesktopServices.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** What the two preference pages share. */
namespace SettingsPage
{
    /** Writes the document to its settings file and closes the page's window.
        When the file cannot be written the user is told and the window stays
        open with what was typed. True when saved.
    */
    bool saveAndClose (juce::Component& page, const juce::XmlElement& document, const juce::File& file,
                       DesktopServices& desktop);

    inline constexpr const char* notSavedTitle = "Settings Not Saved";
}
