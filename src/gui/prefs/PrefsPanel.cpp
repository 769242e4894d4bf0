#include "gui/prefs/PrefsPanel.h"

#include "gui/look/Palette.h"

#include "CobaltlineArt.h"

namespace
{
    /** Stands in for a page whose editor is not part of this build. */
    class PlaceholderPage final : public juce::Component
    {
    public:
        explicit PlaceholderPage (const juce::String& text)
        {
            message.setText (text, juce::dontSendNotification);
            message.setJustificationType (juce::Justification::centred);
            message.setColour (juce::Label::textColourId, Palette::navigationLabel);
            addAndMakeVisible (message);
        }

        void resized() override   { message.setBounds (getLocalBounds().reduced (20)); }

    private:
        juce::Label message;
    };
}

PrefsPanel::PrefsPanel (const AppContext& appContext)
    : context (appContext)
{
    addSettingsPage (profilePage, CobaltlineArt::prefsprofile_png, CobaltlineArt::prefsprofile_pngSize);
    addSettingsPage (pathsPage, CobaltlineArt::prefspaths_png, CobaltlineArt::prefspaths_pngSize);
}

juce::Component* PrefsPanel::createComponentForPage (const juce::String& pageName)
{
    const auto file = pageName == profilePage ? context.settings.getProfileFile() : context.settings.getPathsFile();
    return new PlaceholderPage ("The " + pageName + " settings are kept in " + file.getFullPathName() + ".");
}

juce::String PrefsPanel::getCurrentPageName() const
{
    for (auto* child : getChildren())
        if (auto* button = dynamic_cast<juce::Button*> (child); button != nullptr && button->getToggleState())
            return button->getName();

    return {};
}
