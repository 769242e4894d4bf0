#include <juce_gui_basics/juce_gui_basics.h>

#include "../support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

// Runs every GUI test with JUCE's message thread on the main thread and a
// private home folder, so that the tests never touch the user's own settings.
int main (int argc, char** argv)
{
    const auto home = TempFolder::uniqueFolder ("cobaltline-gui-home-");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    // With an application factory set, JUCE initialises Xlib for threads and
    // installs its own X error handler, as it does in the real application;
    // a bare Xvfb without a window manager otherwise ends the process.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    ::testing::InitGoogleTest (&argc, argv);

    int result = 0;

    {
        juce::ScopedJuceInitialiser_GUI gui;
        result = RUN_ALL_TESTS();
    }

    home.deleteRecursively();
    return result;
}
