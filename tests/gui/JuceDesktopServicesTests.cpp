#include "core/app/VersionCheck.h"
#include "gui/desktop/JuceDesktopServices.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

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

TEST (JuceDesktopServices, TheVersionAlertDownloadsOnReturnAndRemindsOnEscape)
{
    JuceDesktopServices desktop;
    const auto alert = VersionCheck::makeAlert ({});

    {
        const WhenModal pressReturn ([] (juce::Component& modal) { modal.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)); });
        EXPECT_EQ (desktop.showAlert (alert), 1);
    }
    {
        const WhenModal pressEscape ([] (juce::Component& modal) { modal.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)); });
        EXPECT_EQ (desktop.showAlert (alert), 0);
    }
}

TEST (JuceDesktopServices, EscapeDoesNothingWhereTheAlertSaysSo)
{
    JuceDesktopServices desktop;
    auto alert = AlertRequest::ok ("T", "M", AlertIcon::info);
    alert.escapeKeyCancels = false;

    const WhenModal pressEscapeThenReturn ([] (juce::Component& modal)
    {
        modal.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
        modal.keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    });

    EXPECT_EQ (desktop.showAlert (alert), 1);
}
