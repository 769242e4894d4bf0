#include "core/settings/PasswordCipher.h"

#include <gtest/gtest.h>

namespace
{
    // Computed independently with pycryptodome: tools/cipher-vectors.py.
    struct Vector
    {
        const char* utf8Password;
        const char* storedForm;
    };

    const Vector knownVectors[] = {
        { "a",                      "5d2d55b52a0b0afe" },
        { "secret",                 "525bbd1838d8d04e" },
        { "exactly8",               "96a5961e603fc1fc" },
        { "abcdefgh",               "52946542623d336a" },
        { "abcdefghi",              "52946542623d336aa868fa64553d39d2" },
        { "Passw0rd!",              "2470558d7cfb640c2e60bbb6ecfe36bc" },
        { "p@ss w#rd&x",            "c3abdef6212bfec12043c1a267eaa4f5" },
        { "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac" "5 \xc3\xbc",           "c21c0d68351956f8478a00f2db5ac700" },
        { "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x83\x91\xe3\x82\xb9\xe3\x83\xaf\xe3\x83\xbc\xe3\x83\x89",
                                    "732fbeca925c95e136e8c694b7ddd105246465b992b2294b" },
        { "\xf0\x9f\x98\x80" "emoji", "7dcf44675dda2a70a868fa64553d39d2" },
    };

    class PasswordCipherVectors : public ::testing::TestWithParam<Vector> {};
}

TEST_P (PasswordCipherVectors, EnciphersToTheKnownStoredForm)
{
    PasswordCipher cipher;
    EXPECT_EQ (cipher.encipherPassword (juce::String::fromUTF8 (GetParam().utf8Password)),
               juce::String (GetParam().storedForm));
}

TEST_P (PasswordCipherVectors, DeciphersTheKnownStoredFormInEitherCase)
{
    PasswordCipher cipher;
    const auto password = juce::String::fromUTF8 (GetParam().utf8Password);
    const juce::String stored (GetParam().storedForm);

    EXPECT_EQ (cipher.decipherPassword (stored), password);
    EXPECT_EQ (cipher.decipherPassword (stored.toUpperCase()), password);
}

INSTANTIATE_TEST_SUITE_P (KnownVectors, PasswordCipherVectors, ::testing::ValuesIn (knownVectors));

TEST (PasswordCipher, StoredLengthIsSixteenDigitsPerStartedBlock)
{
    PasswordCipher cipher;
    EXPECT_EQ (cipher.encipherPassword ("x").length(), 16);
    EXPECT_EQ (cipher.encipherPassword ("12345678").length(), 16);
    EXPECT_EQ (cipher.encipherPassword ("123456789").length(), 32);
    EXPECT_EQ (cipher.encipherPassword (juce::String::fromUTF8 ("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9")).length(), 16); // 8 UTF-8 bytes
    EXPECT_EQ (cipher.encipherPassword (juce::String::fromUTF8 ("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9")).length(), 32);
}

TEST (PasswordCipher, EmptyPasswordIsStoredEmpty)
{
    PasswordCipher cipher;
    EXPECT_EQ (cipher.encipherPassword ({}), juce::String());
    EXPECT_EQ (cipher.decipherPassword ({}), juce::String());
}

TEST (PasswordCipher, RejectsStoredFormsThatAreNotWholeBlocksOfHex)
{
    PasswordCipher cipher;
    const juce::String good ("525bbd1838d8d04e");

    EXPECT_EQ (cipher.decipherPassword (good.dropLastCharacters (1)), juce::String());   // 15 digits
    EXPECT_EQ (cipher.decipherPassword (good + "0"), juce::String());                    // 17 digits
    EXPECT_EQ (cipher.decipherPassword ("525bbd1838d8d04g"), juce::String());            // not hex
    EXPECT_EQ (cipher.decipherPassword ("525bbd1838d8d04 "), juce::String());
    EXPECT_EQ (cipher.decipherPassword (juce::String::fromUTF8 ("525bbd1838d8d0\xc3\xa9")), juce::String());
}

TEST (PasswordCipher, GarbageThatIsNotUtf8ReadsAsEmpty)
{
    PasswordCipher cipher;

    // Some 8-byte block deciphers to bytes that are not UTF-8; it must read as
    // no password rather than as mojibake.
    int rejected = 0;

    for (int i = 0; i < 200; ++i)
    {
        const auto hex = juce::String::toHexString ((juce::int64) juce::Random (i).nextInt64()).paddedLeft ('0', 16);
        const auto text = cipher.decipherPassword (hex);

        if (text.isEmpty())
            ++rejected;
        else
            EXPECT_TRUE (juce::CharPointer_UTF8::isValidString (text.toRawUTF8(), (int) text.getNumBytesAsUTF8()));
    }

    EXPECT_GT (rejected, 0);
}

TEST (PasswordCipher, RoundTripsPasswordsOfEveryLengthAroundTheBlockSize)
{
    PasswordCipher cipher;
    juce::String password;

    for (int length = 1; length <= 33; ++length)
    {
        password << juce::String::charToString ((juce::juce_wchar) (length % 3 == 0 ? 0x20ac : 'a' + length % 26));
        EXPECT_EQ (cipher.decipherPassword (cipher.encipherPassword (password)), password) << length;
    }
}
