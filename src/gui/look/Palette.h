#pragma once

#include <juce_graphics/juce_graphics.h>

/** Every colour the windows paint with, in one place. */
namespace Palette
{
    // Windows and the main component
    inline const juce::Colour windowBackground     { 0xff292929 };
    inline const juce::Colour mainBackground       { 0xff000000 };
    inline const juce::Colour headerText           { 0xffffffff };
    inline const juce::Colour tab                  { 0xff474747 };
    inline const juce::Colour link                 { 0xffa5a5ee };

    // Navigation bar
    inline const juce::Colour navigationLabel      { 0xffdadada };
    inline const juce::Colour buttonHoverOverlay   { 0x2dffffff };
    inline const juce::Colour buttonPressedOverlay { 0x3d000000 };

    // Tables
    inline const juce::Colour tablePanel           { 0xff3b3b3b };
    inline const juce::Colour tablePanelOutline    { 0xff000000 };
    inline const juce::Colour tableText            { 0xffdbdbdb };
    inline const juce::Colour tableDivider         { 0xff5e5e5e };
    inline const juce::Colour selectedRow          { 0x33dbdbdb };
    inline const juce::Colour listBackground       { 0xff3b3b3b };
    inline const juce::Colour listOutline          { 0xff5e5e5e };
    inline const juce::Colour listText             { 0xffdbdbdb };
}
