#include "core/updates/VersionCheck.h"
#include "gui/desktop/Dialogs.h"
#include "gui/desktop/JuceDesktopServices.h"

#include "GuiTestSupport.h"
#include "XStacking.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
    /** A window of the program standing where the preferences stand: modal,
        launched as the program launches its dialogs. Closed at the end. */
    class ModalWindow
    {
    public:
        ModalWindow (const juce::String& title, int width, int height)
        {
            auto content = std::make_unique<juce::Component>();
            content->setSize (width, height);
            window = Dialogs::launch (std::move (content), title);
            pumpMessages();
        }

        ~ModalWindow()
        {
            if (window != nullptr)
                window->exitModalState (0);

            pumpMessages();
        }

        juce::DialogWindow& get()   { return *window; }

    private:
        juce::Component::SafePointer<juce::DialogWindow> window;
    };

    /** Runs the program with no platform chooser on its path (no zenity, no
        kdialog), so that JUCE's own folder chooser is the one that opens. */
    class WithoutPlatformChooser
    {
    public:
        WithoutPlatformChooser() : path (std::getenv ("PATH") != nullptr ? std::getenv ("PATH") : "")
        {
            setenv ("PATH", "/nonexistent", 1);
        }

        ~WithoutPlatformChooser()   { setenv ("PATH", path.c_str(), 1); }

    private:
        const std::string path;
    };
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

TEST (JuceDesktopServices, ADialogStaysInFrontOfTheWindowItWasOpenedFromAfterAnAlert)
{
    if (! XStacking::isAvailable())
        GTEST_SKIP() << "no X display";

    JuceDesktopServices desktop;
    ModalWindow preferences ("Preferences", 680, 450);
    ModalWindow dialog ("Forgotten Password Reset", 477, 170);
    pumpMessages (200);
    ASSERT_TRUE (XStacking::isAbove (dialog.get(), preferences.get()));

    for (const auto* title : { "Reset Code Sent", "Invalid Entry" })
    {
        const WhenModalIs<juce::AlertWindow> pressReturn ([] (juce::Component& alert)
        {
            alert.keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
        });

        EXPECT_EQ (desktop.showAlert (AlertRequest::ok (title, "text", AlertIcon::info)), 1);
        pumpMessages (100);
        EXPECT_TRUE (XStacking::isAbove (dialog.get(), preferences.get())) << "after " << title;
    }
}

TEST (JuceDesktopServices, JucesOwnFolderChooserPicksAFolderTypedIntoIt)
{
    const WithoutPlatformChooser noZenity;
    ASSERT_FALSE (juce::FileChooser::isPlatformDialogAvailable());

    TempFolder temp;
    const auto folder = temp["Chosen Plugins"];
    ASSERT_TRUE (folder.createDirectory());

    JuceDesktopServices desktop;
    ModalWindow preferences ("Preferences", 680, 450);

    // The folder's name typed and Return pressed, which opens the folder,
    // then "Open", as a user would.
    const WhenModalIs<juce::FileChooserDialogBox> typeAndOpen ([] (juce::FileChooserDialogBox& box)
    {
        auto* filename = findDescendant<juce::TextEditor> (box);
        ASSERT_NE (filename, nullptr);
        filename->setText ("Chosen Plugins");
        filename->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));

        for (auto* button : findDescendants<juce::TextButton> (box))
            if (button->getButtonText() == "Open")
                button->triggerClick();
    });

    EXPECT_EQ (desktop.chooseFolder ("Select a plugin directory to add...", temp.get()), folder);
    pumpMessages();

    // The window it was opened over takes input again.
    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), &preferences.get());
}
