#include "gui/prefs/PrefsPanel.h"

#include "gui/look/Palette.h"
#include "gui/look/SharedLook.h"
#include "gui/prefs/cobaltlinePrefs_Paths.h"
#include "gui/prefs/cobaltlinePrefs_Profile.h"

#include "CobaltlineArt.h"

namespace
{
    /** A page with one icon for all three states of its button (which keeps its own copies). */
    void addPage (juce::PreferencesPanel& panel, const juce::String& name, const void* iconData, int iconSize)
    {
        const auto icon = juce::Drawable::createFromImageData (iconData, (size_t) iconSize);
        panel.addSettingsPage (name, icon.get(), icon.get(), icon.get());
    }
}

PrefsPanel::PrefsPanel (const AppContext& appContext)
    : context (appContext)
{
    SharedLook::install();

    // The first page added becomes the current one, so the Profile page is made here.
    addPage (*this, profilePage, CobaltlineArt::prefsprofile_png, CobaltlineArt::prefsprofile_pngSize);
    addPage (*this, pathsPage, CobaltlineArt::prefspaths_png, CobaltlineArt::prefspaths_pngSize);

    setButtonSize (58);
    resized();
}

juce::Component* PrefsPanel::createComponentForPage (const juce::String& pageName)
{
    // Owned by the panel from here on.
    if (pageName == profilePage)
        return std::make_unique<cobaltlinePrefs_Profile> (context).release();

    if (pageName == pathsPage)
        return std::make_unique<cobaltlinePrefs_Paths> (context).release();

    return nullptr;
}

void PrefsPanel::show()
{
    for (auto* child : getChildren())
        if (auto* page = dynamic_cast<SettingsPage::FollowsItsFile*> (child))
            page->followFile();

    showInDialogBox ("Preferences", 680, 450, Palette::windowBackground);
}

juce::String PrefsPanel::getCurrentPageName() const
{
    for (auto* child : getChildren())
        if (auto* button = dynamic_cast<juce::Button*> (child); button != nullptr && button->getToggleState())
            return button->getName();

    return {};
}
