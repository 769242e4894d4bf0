#include "domain/EntryRules.h"

#include "base/EmailAddress.h"
#include "base/Utf8.h"

namespace
{
    bool containsAny (std::string_view text, std::string_view characters)
    {
        return text.find_first_of (characters) != std::string_view::npos;
    }
}

std::vector<std::string> EntryRules::checkEmail (std::string_view email)
{
    return EmailAddress::check (email);
}

std::vector<std::string> EntryRules::checkPassword (std::string_view password)
{
    if (password.empty())
        return { "The password is empty." };

    if (password.size() > maxPasswordBytes)
        return { "The password is longer than " + std::to_string (maxPasswordBytes) + " bytes." };

    if (! Utf8::isValid (password))
        return { "The password is not valid UTF-8 text." };

    if (Utf8::countCodePoints (password) < 8)
        return { "The password must be at least 8 characters long." };

    if (! containsAny (password, "0123456789")
        || ! containsAny (password, symbols)
        || ! containsAny (password, "ABCDEFGHIJKLMNOPQRSTUVWXYZ")
        || ! containsAny (password, "abcdefghijklmnopqrstuvwxyz"))
        return { "The password must contain at least one of each: upper and lower case letters, numbers, and symbols." };

    return {};
}

std::vector<std::string> EntryRules::checkName (std::string_view name, std::string_view label)
{
    const std::string what (label);

    if (name.empty())
        return { "The " + what + " is empty." };

    if (name.size() > maxNameBytes)
        return { "The " + what + " is longer than " + std::to_string (maxNameBytes) + " bytes." };

    if (! Utf8::isValid (name) || Utf8::hasControlCharacters (name))
        return { "The " + what + " contains characters that cannot be used." };

    return {};
}

std::vector<std::string> EntryRules::checkDeveloperFlag (std::string_view flag)
{
    if (flag == "0" || flag == "1")
        return {};

    return { "The pre-release answer must be \"0\" or \"1\"." };
}

std::string EntryRules::join (const std::vector<std::string>& problems)
{
    std::string text;

    for (const auto& problem : problems)
    {
        if (! text.empty())
            text += '\n';

        text += problem;
    }

    return text;
}
