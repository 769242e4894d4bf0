#include "gui/prefs/SettingsPage.h"

#include "core/settings/SettingsStore.h"
#include "gui/desktop/Dialogs.h"

namespace SettingsPage
{
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
