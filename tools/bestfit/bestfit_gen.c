/*
    bestfit_gen: writes src/pe/BestFit1252Table.cpp from what
    WideCharToMultiByte (1252, 0, ...) really does, one UTF-16 code unit at a time.

    Build: x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -o bestfit_gen.exe bestfit_gen.c
    Run:   wine64 bestfit_gen.exe > BestFit1252Table.cpp   (generate.sh does both)

    Besides the table it checks, and reports on stderr, the two assumptions that
    make a per-unit table enough to reproduce VerQueryValueA's conversion:
      - every single unit converts to exactly one byte (lone surrogates included);
      - converting a whole string gives the same bytes as converting its units one
        by one (no composition, no pair handling except a surrogate pair -> "??").
    Any failed check makes the program exit with status 1 after writing the table.
*/

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned char table[0x10000];
static int failures = 0;

static int convert (const WCHAR* units, int count, unsigned char* out, int outSize)
{
    return WideCharToMultiByte (1252, 0, units, count, (char*) out, outSize, NULL, NULL);
}

static void fail (const char* what, unsigned unit)
{
    fprintf (stderr, "bestfit_gen: %s (U+%04X)\n", what, unit);
    ++failures;
}

/* Converts the string whole and unit by unit, and compares. */
static void checkWhole (const WCHAR* units, int count, const char* label)
{
    unsigned char whole[4096];
    unsigned char perUnit[4096];
    int perUnitLength = 0;

    const int wholeLength = convert (units, count, whole, (int) sizeof (whole));

    for (int i = 0; i < count; ++i)
    {
        /* A surrogate pair is the one sequence that converts as a unit. */
        if (i + 1 < count && units[i] >= 0xd800 && units[i] <= 0xdbff
             && units[i + 1] >= 0xdc00 && units[i + 1] <= 0xdfff)
        {
            perUnit[perUnitLength++] = table[units[i]];
            perUnit[perUnitLength++] = table[units[i + 1]];
            ++i;
            continue;
        }

        perUnit[perUnitLength++] = table[units[i]];
    }

    if (wholeLength != perUnitLength || memcmp (whole, perUnit, (size_t) perUnitLength) != 0)
    {
        fprintf (stderr, "bestfit_gen: whole-string conversion differs from per-unit for %s\n", label);
        fprintf (stderr, "  whole   :");
        for (int i = 0; i < wholeLength; ++i) fprintf (stderr, " %02X", whole[i]);
        fprintf (stderr, "\n  per unit:");
        for (int i = 0; i < perUnitLength; ++i) fprintf (stderr, " %02X", perUnit[i]);
        fprintf (stderr, "\n");
        ++failures;
    }
}

static unsigned nextRandom (unsigned* state)
{
    *state = *state * 1103515245u + 12345u;
    return (*state >> 8) & 0xffffu;
}

static void runChecks (void)
{
    /* A surrogate pair is one character outside the BMP; it has no best fit. */
    {
        const WCHAR pair[] = { 0xd83c, 0xdfb5 };
        unsigned char out[8];
        const int n = convert (pair, 2, out, (int) sizeof (out));

        if (n != 2 || out[0] != '?' || out[1] != '?')
            fail ("a surrogate pair does not convert to \"??\"", 0x1f3b5);
    }

    static const WCHAR sampleMixed[] = { 'C', 'a', 'f', 0x00e9, ' ', 0x20ac, ' ', 0x0100, ' ', 0xff11, 0xff12,
                                         ' ', 0x2070, ' ', 0x4e2d, ' ', 0xd83c, 0xdfb5, ' ', 0x2122, 0x2014,
                                         0x201c, 'Q', 0x201d };
    static const WCHAR sampleCombining[] = { 'e', 0x0301, 'A', 0x030a, 'o', 0x0308, 'n', 0x0303, 'c', 0x0327,
                                             0x00e9, 0x0301, ' ', 'a', 0x0300 };
    static const WCHAR sampleSurrogates[] = { 0xd800, 'x', 0xdc00, 0xdbff, 0xdfff, 0xdfff, 0xd800, 0xd800,
                                              0xdc00, 0xdc00, 'y', 0xd83d };
    static const WCHAR sampleControls[] = { 0x0001, 0x0009, 0x000a, 0x000d, 0x001f, 0x007f, 0x0080, 0x0081,
                                            0x008d, 0x009f, 0x00a0, 0x00ad, 0xfeff, 0xfffe, 0xffff };
    static const WCHAR sampleNul[] = { 'a', 0x0000, 'b', 0x0000 };

    checkWhole (sampleMixed,      (int) (sizeof (sampleMixed) / sizeof (WCHAR)),      "the mixed sample");
    checkWhole (sampleCombining,  (int) (sizeof (sampleCombining) / sizeof (WCHAR)),  "combining marks");
    checkWhole (sampleSurrogates, (int) (sizeof (sampleSurrogates) / sizeof (WCHAR)), "lone surrogates");
    checkWhole (sampleControls,   (int) (sizeof (sampleControls) / sizeof (WCHAR)),   "control characters");
    checkWhole (sampleNul,        (int) (sizeof (sampleNul) / sizeof (WCHAR)),        "embedded NULs");

    /* Random strings over the whole range, and over the ranges where composition
       or pair handling could happen. */
    unsigned state = 12345u;

    for (int round = 0; round < 2000; ++round)
    {
        WCHAR units[64];
        const int count = 1 + (int) (nextRandom (&state) % 63u);

        for (int i = 0; i < count; ++i)
        {
            const unsigned r = nextRandom (&state);

            switch (r % 4u)
            {
                case 0:  units[i] = (WCHAR) r; break;
                case 1:  units[i] = (WCHAR) (0x20u + r % 0x260u); break;       /* Latin letters and symbols */
                case 2:  units[i] = (WCHAR) (0x0300u + r % 0x70u); break;      /* combining marks */
                default: units[i] = (WCHAR) (0xd800u + r % 0x800u); break;     /* surrogates */
            }
        }

        char label[64];
        snprintf (label, sizeof (label), "random string %d", round);
        checkWhole (units, count, label);
    }
}

static void writeTable (void)
{
    /* Runs of consecutive units that map to consecutive bytes are stored as one
       range; everything not covered converts to '?'. */
    unsigned first[0x10000];
    unsigned last[0x10000];
    unsigned char firstByte[0x10000];
    int ranges = 0;
    int mapped = 0;

    for (unsigned u = 0; u < 0x10000u; ++u)
    {
        if (table[u] == '?')
            continue;

        ++mapped;

        if (ranges > 0 && last[ranges - 1] + 1 == u
             && (unsigned) firstByte[ranges - 1] + (u - first[ranges - 1]) == table[u])
        {
            last[ranges - 1] = u;
            continue;
        }

        first[ranges] = u;
        last[ranges] = u;
        firstByte[ranges] = table[u];
        ++ranges;
    }

    printf ("// Generated by tools/bestfit/bestfit_gen.c from WideCharToMultiByte under Wine; do not edit.\n"
            "// Rebuild with tools/bestfit/generate.sh (code page 1252, flags 0, one UTF-16 unit at a time).\n"
            "//\n"
            "// %d of the 65536 UTF-16 code units convert to something other than '?',\n"
            "// stored as %d ranges of consecutive units mapping to consecutive bytes.\n"
            "\n"
            "#include \"BestFit1252Table.h\"\n"
            "\n"
            "#include <algorithm>\n"
            "#include <iterator>\n"
            "\n"
            "namespace bestfit\n"
            "{\n"
            "namespace\n"
            "{\n"
            "    struct Range\n"
            "    {\n"
            "        char16_t first;\n"
            "        char16_t last;\n"
            "        unsigned char firstByte;\n"
            "    };\n"
            "\n"
            "    // Sorted by unit, not overlapping.\n"
            "    constexpr Range ranges[] =\n"
            "    {\n", mapped, ranges);

    for (int i = 0; i < ranges; ++i)
        printf ("        { 0x%04x, 0x%04x, 0x%02x },\n", first[i], last[i], firstByte[i]);

    printf ("    };\n"
            "}\n"
            "\n"
            "unsigned char toWindows1252 (char16_t unit) noexcept\n"
            "{\n"
            "    // The first range that ends at or after the unit is the only one that can hold it.\n"
            "    const auto* range = std::lower_bound (std::begin (ranges), std::end (ranges), unit,\n"
            "                                          [] (const Range& r, char16_t u) { return r.last < u; });\n"
            "\n"
            "    if (range == std::end (ranges) || unit < range->first)\n"
            "        return static_cast<unsigned char> ('?');\n"
            "\n"
            "    return static_cast<unsigned char> (range->firstByte + (unit - range->first));\n"
            "}\n"
            "}\n");

    fprintf (stderr, "bestfit_gen: %d units map to something other than '?', in %d ranges\n", mapped, ranges);
}

int main (void)
{
    _setmode (_fileno (stdout), _O_BINARY);

    for (unsigned u = 0; u < 0x10000u; ++u)
    {
        const WCHAR unit = (WCHAR) u;
        unsigned char out[8] = { 0 };
        const int n = convert (&unit, 1, out, (int) sizeof (out));

        if (n != 1)
        {
            fail ("a single unit does not convert to exactly one byte", u);
            table[u] = '?';
            continue;
        }

        table[u] = out[0];
    }

    runChecks();
    writeTable();

    if (failures != 0)
    {
        fprintf (stderr, "bestfit_gen: %d check(s) failed\n", failures);
        return 1;
    }

    fprintf (stderr, "bestfit_gen: all checks passed\n");
    return 0;
}
