#pragma once

#include "core/platform/DesktopServices.h"

/** The tests the account dialogs make before they send anything: empty
    fields, the e-mail address, the password pair, and (for sign-up) the
    machine name. Each problem adds one message to a running text; the alert
    shows them all at once. Nothing is trimmed: a field of spaces is not empty.
*/
namespace EntryRules
{
    /** The messages found so far, in the order of the tests. */
    struct Problems
    {
        juce::String messages;
        int count = 0;

        void add (const char* message);
        bool any() const noexcept   { return count > 0; }
    };

    /** Adds the message when the text has no characters at all. */
    void checkNotEmpty (Problems& problems, const juce::String& text, const char* message);

    /** Empty, or lacking an "@" or a ".": one message. */
    void checkEmail (Problems& problems, const juce::String& email);

    /** The password and its repetition: each empty test, then for two equal
        passwords the length (at least 8 code points) or else the four classes
        (ASCII digits, symbols, capitals, small letters), or else the mismatch.
    */
    void checkPasswordPair (Problems& problems, const juce::String& password, const juce::String& repeat);

    /** Empty, or a name that would lead out of the data folder. */
    void checkMachineName (Problems& problems, const juce::String& machineName);

    /** What sign-up checks, in its order. */
    struct SignUpEntries
    {
        juce::String firstName, lastName, email, password, passwordRepeat, machineName;
    };

    Problems checkSignUp (const SignUpEntries& entries);

    /** What a password reset checks, in its order. */
    Problems checkReset (const juce::String& email, const juce::String& password,
                         const juce::String& passwordRepeat, const juce::String& resetCode);

    /** "Invalid Entry" for one problem, "N Invalid Entries" for more; the
        messages as the text, the warning icon and "OK".
    */
    AlertRequest makeAlert (const Problems& problems);

    inline constexpr int minimumPasswordLength = 8;

    inline constexpr const char* firstNameEmpty = "First Name cannot be blank. \r";
    inline constexpr const char* lastNameEmpty = "Last Name cannot be blank. \r";
    inline constexpr const char* emailEmpty = "Email cannot be blank. \r";
    inline constexpr const char* emailInvalid = "Please enter a valid email address. ";
    inline constexpr const char* passwordEmpty = "Password cannot be blank. \r";
    inline constexpr const char* passwordRepeatEmpty = "Password (again) cannot be blank. \r";
    inline constexpr const char* passwordTooShort = "Password must be at least 8 characters in length. \r";
    inline constexpr const char* passwordLacksClass = "Password must contain at least one of each: upper and lower "
                                                      "case letters, numbers, and symbols (such as #,$,&,*). \r";
    inline constexpr const char* passwordsDiffer = "Password fields do not match. \r";
    inline constexpr const char* machineNameEmpty = "Machine Name cannot be blank. \r";
    inline constexpr const char* machineNameUnsafe = "Machine Name cannot contain \"/\", \"\\\", \":\" or control "
                                                     "characters, cannot begin with \"~\", and cannot be \".\" or \"..\". \r";
    inline constexpr const char* resetCodeEmpty = "Reset Code cannot be blank. \r";

    /** The symbols a password needs one of: every printable ASCII character
        that is neither a letter, a digit nor the space.
    */
    inline constexpr const char* symbols = "!@#$%^&*()-_=+[]{};:'\"\\|/?.,<>`~";
}
