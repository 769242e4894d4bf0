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

    // The shared look of buttons, lists and fields
    inline const juce::Colour button               { 0xff636363 };
    inline const juce::Colour buttonOn             { 0xffff0000 };
    inline const juce::Colour buttonTextOn         { 0xffdddddd };
    inline const juce::Colour buttonTextOff        { 0xffffffff };
    inline const juce::Colour comboBox             { 0xff636363 };
    inline const juce::Colour comboBoxArrow        { 0xffe5e5e5 };
    inline const juce::Colour comboBoxText         { 0xffffffff };
    inline const juce::Colour pageButton           { 0x00000000 };
    inline const juce::Colour pageButtonOn         { 0x38ffffff };
    inline const juce::Colour pageButtonText       { 0xffffffff };
    inline const juce::Colour editorText           { 0xffdadada };
    inline const juce::Colour editorBackground     { 0xff191919 };
    inline const juce::Colour editorHighlight      { 0xa0ffffff };
    inline const juce::Colour editorOutline        { 0xff808080 };
    inline const juce::Colour caret                { 0xffffffff };

    // Labels of the pages and dialogs
    inline const juce::Colour formLabel            { 0xffdadada };
}
