#pragma once

/** The program's look, on JUCE's default look-and-feel so that every
    component without colours of its own has it: the typeface "Helvetica Neue"
    where it is installed, and the dark colours of buttons, drop-down lists,
    page buttons, text fields, the caret and every list box (the tables among
    them). Every process-wide colour is set here. Message thread only.
*/
namespace SharedLook
{
    void install();

    inline constexpr const char* typefaceName = "Helvetica Neue";
}
