#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

// Runs every GUI test with JUCE's message thread on the main thread.
int main (int argc, char** argv)
{
    // With an application factory set, JUCE initialises Xlib for threads and
    // installs its own X error handler, as it does in the real application;
    // a bare Xvfb without a window manager otherwise ends the process.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    ::testing::InitGoogleTest (&argc, argv);

    const juce::ScopedJuceInitialiser_GUI gui;
    return RUN_ALL_TESTS();
}
