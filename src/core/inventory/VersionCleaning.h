#pragma once

#include <juce_core/juce_core.h>

/** Turns a version text into one decimal-looking number.

    Commas become dots; the text up to and including the first dot keeps only
    digits and that dot, the rest keeps only digits. So "1.2.3" gives "1.23",
    "2, 0, 1, 5" gives "2.015" and "ver 3.0 build 17" gives "3.017"; a text
    without any dot gives its digits alone ("12"), which the scanner rejects.
*/
juce::String cleanVersion (const juce::String& version);
