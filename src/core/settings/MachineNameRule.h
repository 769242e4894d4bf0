#pragma once

#include "core/platform/DesktopServices.h"

/** The machine name names the files the program keeps for this computer in
    its data folder (the inventory, the unknown plug-ins, the update list), so
    it must not lead out of that folder: a name is safe unless it is "." or
    "..", contains "/", "\\", ":" or a control character, or begins with "~"
    (JUCE reads "C:..." as a drive and "~..." as a home folder). Any other
    text, spaces, punctuation and non-ASCII letters included, is taken as
    typed.
*/
namespace MachineNameRule
{
    bool isSafe (const juce::String& machineName);

    /** The alert that refuses an unsafe name (warning icon, "OK"). */
    AlertRequest makeRefusalAlert();

    inline constexpr const char* refusalTitle = "Invalid Machine Name";
}
