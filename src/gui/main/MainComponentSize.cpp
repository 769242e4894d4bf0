#include "gui/main/MainComponentSize.h"

#include <juce_gui_basics/juce_gui_basics.h>

juce::Rectangle<int> getMainDisplayUsableArea()
{
    if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
        return display->userArea;

    return { 0, 0, 1024, 768 };
}
