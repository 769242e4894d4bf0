#pragma once

#include "core/platform/DesktopServices.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** What the two preference pages share. */
namespace SettingsPage
{
    /** A page that shows a settings file. The page lives as long as its panel,
        while the file may change under it (a sign-up, a password reset, the
        other tab's preferences): whenever the window is shown again, and
        whenever a dialog the page opened closes, the page brings every field
        the user has not edited in line with the file, keeping the edits (see
        EditedFields).
    */
    class FollowsItsFile
    {
    public:
        virtual ~FollowsItsFile() = default;

        /** Reads the file again; fields the user has edited keep their text. */
        virtual void followFile() = 0;
    };

    /** After the page wrote its settings file: closes the page's window, or,
        when the file could not be written, tells the user and leaves the
        window open with what was typed. Gives written.
    */
    bool closeIfSaved (juce::Component& page, bool written, const juce::File& file, DesktopServices& desktop);

    inline constexpr const char* notSavedTitle = "Settings Not Saved";
}
