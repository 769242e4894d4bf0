#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/**
    Small UTF-8 and ASCII helpers for text that arrives from the network or
    from disk. Every function is pure and may be called from any thread.
*/
class Utf8
{
public:
    /** True when the bytes are well-formed UTF-8 (no overlong forms, no
        surrogates, nothing above U+10FFFF). */
    static bool isValid (std::string_view text);

    /** The number of code points of well-formed UTF-8 text. */
    static std::size_t countCodePoints (std::string_view text);

    /** ASCII letters folded to lower case; every other byte unchanged.
        E-mail addresses and plug-in names are compared this way. */
    static std::string asciiLower (std::string_view text);

    /** True when the text holds a C0 control character or DEL. */
    static bool hasControlCharacters (std::string_view text);

    /** Decodes one code point at `pos` of well-formed or broken text. On a
        broken sequence it returns false and advances by one byte. */
    static bool decode (std::string_view text, std::size_t& pos, char32_t& codePoint);
};
