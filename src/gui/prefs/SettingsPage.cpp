#include "gui/prefs/SettingsPage.h"

#include "gui/desktop/Dialogs.h"

namespace SettingsPage
{
bool closeIfSaved (juce::Component& page, bool written, const juce::File& file, DesktopServices& desktop)
{
    if (! written)
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
