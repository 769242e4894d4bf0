#pragma once

#include <juce_core/juce_core.h>
#include <juce_cryptography/juce_cryptography.h>

/** The stored form of the account password.

    The password's UTF-8 bytes are zero-padded to whole 8-byte blocks, each
    block is enciphered with Blowfish (ECB) under a fixed key, reading its two
    halves as little-endian words, and the result is written as lower-case
    hex, 16 digits per block. This keeps the password unreadable at a glance
    in the settings file; it is not a protection against a determined reader.

    Safe to use from any thread; each user owns its own cipher.
*/
class PasswordCipher
{
public:
    PasswordCipher();

    /** "" for an empty password, otherwise 16 lower-case hex digits per 8 bytes. */
    juce::String encipherPassword (const juce::String& password) const;

    /** The password back from its stored form. Hex digits of either case are
        accepted; anything that is not hex of a non-zero multiple of 16 digits,
        or that does not decipher to UTF-8 text, gives "".
    */
    juce::String decipherPassword (const juce::String& storedForm) const;

private:
    juce::BlowFish blowFish;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PasswordCipher)
};
