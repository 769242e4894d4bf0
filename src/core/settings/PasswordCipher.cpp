#include "core/settings/PasswordCipher.h"

namespace
{
    constexpr char fixedKey[] = "Vx4KpLr8QzNa2WmTs7HcYd9B";
    constexpr size_t blockSize = 8;

    int hexDigitValue (juce::juce_wchar c) noexcept
    {
        if (c >= '0' && c <= '9')  return (int) (c - '0');
        if (c >= 'a' && c <= 'f')  return (int) (c - 'a' + 10);
        if (c >= 'A' && c <= 'F')  return (int) (c - 'A' + 10);
        return -1;
    }

    void storeLittleEndian (juce::uint8* dest, juce::uint32 value) noexcept
    {
        for (int i = 0; i < 4; ++i)
            dest[i] = (juce::uint8) (value >> (8 * i));
    }

    /** Runs Blowfish over every 8-byte block in place, halves read as little-endian words. */
    template <typename Transform>
    void transformBlocks (juce::uint8* bytes, size_t numBytes, Transform&& transform)
    {
        for (size_t offset = 0; offset + blockSize <= numBytes; offset += blockSize)
        {
            auto* block = bytes + offset;
            auto left  = juce::ByteOrder::littleEndianInt (block);
            auto right = juce::ByteOrder::littleEndianInt (block + 4);
            transform (left, right);
            storeLittleEndian (block, left);
            storeLittleEndian (block + 4, right);
        }
    }
}

PasswordCipher::PasswordCipher()
    : blowFish (fixedKey, (int) sizeof (fixedKey) - 1)
{
}

juce::String PasswordCipher::encipherPassword (const juce::String& password) const
{
    if (password.isEmpty())
        return {};

    const auto numBytes = password.getNumBytesAsUTF8();
    juce::MemoryBlock data ((numBytes + blockSize - 1) / blockSize * blockSize, true);
    data.copyFrom (password.toRawUTF8(), 0, numBytes);

    transformBlocks (static_cast<juce::uint8*> (data.getData()), data.getSize(),
                     [this] (juce::uint32& left, juce::uint32& right) { blowFish.encrypt (left, right); });

    return juce::String::toHexString (data.getData(), (int) data.getSize(), 0);
}

juce::String PasswordCipher::decipherPassword (const juce::String& storedForm) const
{
    const auto numDigits = storedForm.length();

    if (numDigits == 0 || numDigits % (int) (2 * blockSize) != 0)
        return {};

    const auto numBytes = (size_t) numDigits / 2;
    juce::MemoryBlock data (numBytes + 1, true);   // one extra zero byte ends the text
    auto* bytes = static_cast<juce::uint8*> (data.getData());
    auto digit = storedForm.getCharPointer();

    for (size_t i = 0; i < numBytes; ++i)
    {
        const auto high = hexDigitValue (digit.getAndAdvance());
        const auto low  = hexDigitValue (digit.getAndAdvance());

        if (high < 0 || low < 0)
            return {};

        bytes[i] = (juce::uint8) ((high << 4) | low);
    }

    transformBlocks (bytes, numBytes,
                     [this] (juce::uint32& left, juce::uint32& right) { blowFish.decrypt (left, right); });

    auto* text = reinterpret_cast<const char*> (bytes);
    auto length = std::strlen (text);

    if (length >= 3 && juce::CharPointer_UTF8::isByteOrderMark (text))
    {
        text += 3;
        length -= 3;
    }

    if (length == 0 || ! juce::CharPointer_UTF8::isValidString (text, (int) length))
        return {};

    return juce::String::fromUTF8 (text, (int) length);
}
