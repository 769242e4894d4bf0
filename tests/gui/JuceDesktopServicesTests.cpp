#include "gui/desktop/JuceDesktopServices.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    AlertRequest versionAlert()
    {
        return { "New Version", "Get it now", AlertIcon::info,
                 { { "Download...", 1, AlertKey::returnKey }, { "Remind Me Later", 0, AlertKey::escapeKey } } };
    }
}

TEST (JuceDesktopServices, ReturnPressesTheOkButtonWhichAnswersOne)
{
    JuceDesktopServices desktop;
    juce::String title;
    int numButtons = 0;
    auto icon = juce::MessageBoxIconType::NoIcon;

    const WhenModal pressReturn ([&] (juce::Component& modal)
    {
        auto& alert = dynamic_cast<juce::AlertWindow&> (modal);
        title = alert.getName();
        numButtons = alert.getNumButtons();
        icon = alert.getAlertType();
        modal.keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    });

    EXPECT_EQ (desktop.showAlert (AlertRequest::ok ("Invalid Entry", "text", AlertIcon::warning)), 1);
    EXPECT_EQ (title, juce::String ("Invalid Entry"));
    EXPECT_EQ (numButtons, 1);
    EXPECT_EQ (icon, juce::MessageBoxIconType::WarningIcon);
}

TEST (JuceDesktopServices, EscapeClosesAnAlertWithZero)
{
    JuceDesktopServices desktop;
    const WhenModal pressEscape ([] (juce::Component& modal) { modal.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)); });

    EXPECT_EQ (desktop.showAlert (AlertRequest::ok ("T", "M", AlertIcon::info)), 0);
}

TEST (JuceDesktopServices, EachButtonAnswersWithItsOwnResultAndKey)
{
    JuceDesktopServices desktop;

    {
        const WhenModal pressReturn ([] (juce::Component& modal) { modal.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)); });
        EXPECT_EQ (desktop.showAlert (versionAlert()), 1);
    }
    {
        const WhenModal pressEscape ([] (juce::Component& modal) { modal.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)); });
        EXPECT_EQ (desktop.showAlert (versionAlert()), 0);
    }
}
