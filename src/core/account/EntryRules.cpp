#include "core/account/EntryRules.h"

#include "core/settings/MachineNameRule.h"

namespace EntryRules
{
namespace
{
    bool containsAnyOf (const juce::String& text, const char* characters)
    {
        return text.containsAnyOf (juce::String (characters));
    }
}

void Problems::add (const char* message)
{
    messages << message;
    ++count;
}

void checkNotEmpty (Problems& problems, const juce::String& text, const char* message)
{
    if (text.isEmpty())
        problems.add (message);
}

void checkEmail (Problems& problems, const juce::String& email)
{
    if (email.isEmpty())
        problems.add (emailEmpty);
    else if (! (email.containsChar ('@') && email.containsChar ('.')))
        problems.add (emailInvalid);
}

void checkPasswordPair (Problems& problems, const juce::String& password, const juce::String& repeat)
{
    checkNotEmpty (problems, password, passwordEmpty);
    checkNotEmpty (problems, repeat, passwordRepeatEmpty);

    if (password == repeat)
    {
        if (password.isEmpty())
            return;

        if (password.length() < minimumPasswordLength)
            problems.add (passwordTooShort);
        else if (! (containsAnyOf (password, "1234567890")
                    && containsAnyOf (password, symbols)
                    && containsAnyOf (password, "ABCDEFGHIJKLMNOPQRSTUVWXYZ")
                    && containsAnyOf (password, "abcdefghijklmnopqrstuvwxyz")))
            problems.add (passwordLacksClass);
    }
    else
    {
        problems.add (passwordsDiffer);
    }
}

void checkMachineName (Problems& problems, const juce::String& machineName)
{
    if (machineName.isEmpty())
        problems.add (machineNameEmpty);
    else if (! MachineNameRule::isSafe (machineName))
        problems.add (machineNameUnsafe);
}

Problems checkSignUp (const SignUpEntries& entries)
{
    Problems problems;
    checkNotEmpty (problems, entries.firstName, firstNameEmpty);
    checkNotEmpty (problems, entries.lastName, lastNameEmpty);
    checkEmail (problems, entries.email);
    checkPasswordPair (problems, entries.password, entries.passwordRepeat);
    checkMachineName (problems, entries.machineName);
    return problems;
}

Problems checkReset (const juce::String& email, const juce::String& password,
                     const juce::String& passwordRepeat, const juce::String& resetCode)
{
    Problems problems;
    checkEmail (problems, email);
    checkPasswordPair (problems, password, passwordRepeat);
    checkNotEmpty (problems, resetCode, resetCodeEmpty);
    return problems;
}

AlertRequest makeAlert (const Problems& problems)
{
    const auto title = problems.count == 1 ? juce::String ("Invalid Entry")
                                           : juce::String (problems.count) + " Invalid Entries";
    return AlertRequest::ok (title, problems.messages, AlertIcon::warning);
}
}
