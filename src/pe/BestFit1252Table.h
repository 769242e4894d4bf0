#pragma once

namespace bestfit
{
    /** Converts one UTF-16 code unit to Windows-1252 exactly as
        WideCharToMultiByte (1252, 0, ...) does, best-fit mapping included:
        Windows-1252 characters become their own byte (U+20AC -> 0x80), many
        others their closest look-alike (U+0100 -> 'A', U+FF11 -> '1',
        U+2070 -> 0xB0), and everything else '?'.

        Converting a string unit by unit gives the same bytes as the Windows call
        on the whole string; in particular a surrogate pair (a character outside
        the BMP) becomes "??", and so does each lone surrogate become '?'.
        U+0000 gives 0.

        Pure function over a constant table: safe to call from any thread.
    */
    unsigned char toWindows1252 (char16_t unit) noexcept;
}
