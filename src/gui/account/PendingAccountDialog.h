#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Stands in for an account dialog that this build does not have yet: it
    says so, at the dialog's size.
*/
class PendingAccountDialog final : public juce::Component
{
public:
    PendingAccountDialog (int width, int height)
    {
        message.setText ("This part of your account can be managed in a later version of Cobaltline.",
                         juce::dontSendNotification);
        message.setJustificationType (juce::Justification::centred);
        message.setColour (juce::Label::textColourId, juce::Colour (0xffdadada));
        addAndMakeVisible (message);
        setSize (width, height);
    }

    void resized() override   { message.setBounds (getLocalBounds().reduced (20)); }

private:
    juce::Label message;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PendingAccountDialog)
};
