#pragma once

#include <juce_graphics/juce_graphics.h>

/** The main component's size on a display whose usable area (without the task
    bar) is the given rectangle: 50 pixels narrower than a display of up to 1024
    pixels, else 1024 wide; always 100 pixels shorter than the usable area.
*/
inline juce::Point<int> computeMainComponentSize (juce::Rectangle<int> usableArea) noexcept
{
    const auto width = usableArea.getWidth() <= 1024 ? usableArea.getWidth() - 50 : 1024;
    return { width, usableArea.getHeight() - 100 };
}

/** The usable area of the main display, or a 1024 x 768 stand-in when there is no display. */
juce::Rectangle<int> getMainDisplayUsableArea();
