#include "core/account/EntryRules.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace EntryRules;

namespace
{
    struct SignUpCase
    {
        const char* name;
        SignUpEntries entries;
        std::vector<const char*> messages;
    };

    void PrintTo (const SignUpCase& c, std::ostream* out)   { *out << c.name; }

    const SignUpEntries valid { "Ada", "Lovelace", "ada@example.com", "Passw0rd!", "Passw0rd!", "Studio" };

    SignUpEntries with (std::function<void (SignUpEntries&)> change)
    {
        auto entries = valid;
        change (entries);
        return entries;
    }

    const SignUpCase signUpCases[] = {
        { "AllValid", valid, {} },
        { "AllEmpty", { "", "", "", "", "", "" },
          { firstNameEmpty, lastNameEmpty, emailEmpty, passwordEmpty, passwordRepeatEmpty, machineNameEmpty } },
        { "ShortPasswordAndEmptyRepeat", with ([] (auto& e) { e.password = "abc"; e.passwordRepeat = ""; }),
          { passwordRepeatEmpty, passwordsDiffer } },
        { "EightCharactersOfEveryClass", with ([] (auto& e) { e.password = e.passwordRepeat = "aB3$efgh"; }), {} },
        { "LettersAndDigitsWithoutASymbol", with ([] (auto& e) { e.password = e.passwordRepeat = "abCD1234"; }),
          { passwordLacksClass } },
        { "NoDigit", with ([] (auto& e) { e.password = e.passwordRepeat = "abCD!@#$"; }), { passwordLacksClass } },
        { "NoCapital", with ([] (auto& e) { e.password = e.passwordRepeat = "abcd!234"; }), { passwordLacksClass } },
        { "NoSmallLetter", with ([] (auto& e) { e.password = e.passwordRepeat = "ABCD!234"; }), { passwordLacksClass } },
        { "FourCharactersOfEveryClass", with ([] (auto& e) { e.password = e.passwordRepeat = "aB3$"; }), { passwordTooShort } },
        { "SevenCharactersLackingClasses", with ([] (auto& e) { e.password = e.passwordRepeat = "abcdefg"; }),
          { passwordTooShort } },
        { "NonAsciiCountsForNoClass", with ([] (auto& e) { e.password = e.passwordRepeat = juce::String::fromUTF8 ("\xc3\xa4\xc3\x84" "1\xc2\xa7" "abcd"); }),
          { passwordLacksClass } },
        { "LengthInCodePoints", with ([] (auto& e) { e.password = e.passwordRepeat = juce::String::fromUTF8 ("aB3$\xc3\xa9\xc3\xa9\xc3\xa9"); }),
          { passwordTooShort } },
        { "DifferingOnlyInCase", with ([] (auto& e) { e.passwordRepeat = "passw0rd!"; }), { passwordsDiffer } },
        { "EmailWithoutDot", with ([] (auto& e) { e.email = "ada@example"; }), { emailInvalid } },
        { "EmailWithoutAt", with ([] (auto& e) { e.email = "ada.example.com"; }), { emailInvalid } },
        { "EmailOfJustAtAndDot", with ([] (auto& e) { e.email = ".@"; }), {} },
        { "InvalidEmailThenEmptyPassword", with ([] (auto& e) { e.email = "nobody"; e.password = ""; }),
          { emailInvalid, passwordEmpty, passwordsDiffer } },
        { "SpacesAreNotEmpty", with ([] (auto& e) { e.firstName = " "; e.lastName = "  "; e.machineName = " "; }), {} },
        { "MachineNameLeadingOutOfTheDataFolder", with ([] (auto& e) { e.machineName = "../Studio"; }), { machineNameUnsafe } },
    };

    class SignUpEntryRules : public ::testing::TestWithParam<SignUpCase> {};
}

TEST_P (SignUpEntryRules, CollectTheMessagesInTheOrderOfTheTests)
{
    const auto problems = checkSignUp (GetParam().entries);

    juce::String expected;
    for (auto* message : GetParam().messages)
        expected << message;

    EXPECT_EQ (problems.messages, expected);
    EXPECT_EQ (problems.count, (int) GetParam().messages.size());
}

INSTANTIATE_TEST_SUITE_P (Cases, SignUpEntryRules, ::testing::ValuesIn (signUpCases),
                          [] (const auto& testCase) { return std::string (testCase.param.name); });

TEST (EntryRules, MessagesEndWithASpaceAndACarriageReturnButTheEmailOne)
{
    EXPECT_EQ (juce::String (firstNameEmpty), juce::String ("First Name cannot be blank. \r"));
    EXPECT_EQ (juce::String (passwordLacksClass),
               juce::String ("Password must contain at least one of each: upper and lower case letters, numbers, "
                             "and symbols (such as #,$,&,*). \r"));
    EXPECT_EQ (juce::String (emailInvalid), juce::String ("Please enter a valid email address. "));

    // The 32 symbols are every printable ASCII character but letters, digits and the space.
    for (char c = 0x21; c < 0x7f; ++c)
        EXPECT_EQ (juce::String (symbols).containsChar ((juce::juce_wchar) c), ! juce::CharacterFunctions::isLetterOrDigit (c)) << c;
}

TEST (EntryRules, TheResetChecksAddressPasswordsAndCode)
{
    const auto empty = checkReset ("", "", "", "");
    EXPECT_EQ (empty.messages, juce::String (emailEmpty) + passwordEmpty + passwordRepeatEmpty + resetCodeEmpty);
    EXPECT_EQ (makeAlert (empty).title, juce::String ("4 Invalid Entries"));

    EXPECT_FALSE (checkReset ("a@b.c", "Passw0rd!", "Passw0rd!", "ABC").any());
}

TEST (EntryRules, TheAlertCountsTheProblems)
{
    Problems one;
    one.add (firstNameEmpty);
    const auto alert = makeAlert (one);
    EXPECT_EQ (alert.title, juce::String ("Invalid Entry"));
    EXPECT_EQ (alert.message, juce::String (firstNameEmpty));
    EXPECT_EQ (alert.icon, AlertIcon::warning);
    ASSERT_EQ (alert.buttons.size(), 1u);
    EXPECT_EQ (alert.buttons[0].text, juce::String ("OK"));

    one.add (lastNameEmpty);
    EXPECT_EQ (makeAlert (one).title, juce::String ("2 Invalid Entries"));
    const auto all = makeAlert (checkSignUp ({}));
    EXPECT_EQ (all.title, juce::String ("6 Invalid Entries"));
    EXPECT_EQ (all.message, juce::String ("First Name cannot be blank. \rLast Name cannot be blank. \r"
                                          "Email cannot be blank. \rPassword cannot be blank. \r"
                                          "Password (again) cannot be blank. \rMachine Name cannot be blank. \r"));
}
