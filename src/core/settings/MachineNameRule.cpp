#include "core/settings/MachineNameRule.h"

namespace MachineNameRule
{
bool isSafe (const juce::String& machineName)
{
    if (machineName == "." || machineName == ".." || machineName.startsWithChar ('~'))
        return false;

    for (auto p = machineName.getCharPointer(); ! p.isEmpty(); ++p)
    {
        const auto c = *p;

        if (c == '/' || c == '\\' || c == ':' || c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0))
            return false;
    }

    return true;
}

AlertRequest makeRefusalAlert()
{
    return AlertRequest::ok (refusalTitle,
                             "Cobaltline names the files it keeps for this computer after its machine name, so the "
                             "name must not contain \"/\", \"\\\", \":\" or control characters, must not begin with "
                             "\"~\", and must not be \".\" or \"..\". Please choose another machine name on the "
                             "Profile page of the Preferences.",
                             AlertIcon::warning);
}
}
