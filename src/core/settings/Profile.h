#pragma once

#include <juce_core/juce_core.h>

/** The account and machine of Profile.xml, as the program works with them.
    The password is the plain one: it is enciphered only in the file.
*/
struct Profile
{
    juce::String machineName;
    juce::String email;
    juce::String password;

    bool operator== (const Profile& other) const
    {
        return machineName == other.machineName && email == other.email && password == other.password;
    }

    bool operator!= (const Profile& other) const   { return ! operator== (other); }
};
