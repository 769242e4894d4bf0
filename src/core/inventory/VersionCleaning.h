#pragma once

#include <juce_core/juce_core.h>

/** Turns a version text into one decimal-looking number.

    Commas become dots; the text up to and including the first dot keeps only
    digits and that dot, the rest keeps only digits. So "1.2.3" gives "1.23",
    "2, 0, 1, 5" gives "2.015" and "ver 3.0 build 17" gives "3.017"; a text
    without any dot gives its digits alone ("12"), which the scanner rejects.
*/
juce::String cleanVersion (const juce::String& version);

/** Compares two cleaned versions as exact decimal numbers, the way the update
    service does: the whole-number parts by their value, then the fractions
    digit by digit, so "4.10" equals "4.1", "10.0" is above "9.99" and "."
    equals "0". Negative, zero or positive.
*/
int compareCleanedVersions (const juce::String& first, const juce::String& second);
