/*
    verquery: prints what the Windows version API itself reports for each file
    named on the command line, following the plug-in scanner's procedure step by
    step, so that the Linux reader can be diffed against it.

    Build: x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -o verquery.exe verquery.c -lversion
    Run:   wine64 verquery.exe FILE...   (or under real Windows)

    One line per file, tab-separated: the path exactly as given, Name, Version
    (raw, not cleaned), Vendor and the Error text. Every byte outside 0x20-0x7E,
    and the backslash itself, is written as \xNN with upper-case hex digits, so
    each line is plain ASCII and the output matches the verinfo tool byte for byte.

    The values are whatever VerQueryValueA hands back, i.e. converted to the ANSI
    code page; the program refuses to run unless that code page is Windows-1252,
    because the reference data would otherwise silently depend on the machine.
*/

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* const tables[] = { "040904e4", "000004e4", "000004b0", "040904b0" };
static const char* const keys[]   = { "ProductName", "ProductVersion", "CompanyName" };

static void putEscaped (const char* text)
{
    for (const unsigned char* p = (const unsigned char*) text; *p != 0; ++p)
    {
        if (*p < 0x20 || *p > 0x7e || *p == '\\')
            printf ("\\x%02X", (unsigned) *p);
        else
            putchar (*p);
    }
}

static void printLine (const char* path, const char* name, const char* version,
                       const char* vendor, const char* error)
{
    putEscaped (path);    putchar ('\t');
    putEscaped (name);    putchar ('\t');
    putEscaped (version); putchar ('\t');
    putEscaped (vendor);  putchar ('\t');
    putEscaped (error);   putchar ('\n');
}

/* Copies a value into a heap string: the scanner keeps each value past the
   buffer's lifetime, and reads it as a C string, i.e. up to its first NUL. */
static char* copyString (const char* value)
{
    const size_t length = strlen (value);
    char* copy = (char*) malloc (length + 1);

    if (copy == NULL)
    {
        fputs ("verquery: out of memory\n", stderr);
        exit (3);
    }

    memcpy (copy, value, length + 1);
    return copy;
}

static const char* currentPath = "";

/* Wine's version.dll trusts some offsets in the file; a malformed file can make
   it fault. Report that plainly instead of letting the debugger print a
   register dump into the output. */
static LONG WINAPI onCrash (EXCEPTION_POINTERS* info)
{
    fprintf (stderr, "verquery: exception 0x%08lX while reading %s\n",
             (unsigned long) info->ExceptionRecord->ExceptionCode, currentPath);
    fflush (stdout);
    ExitProcess (4);
    return EXCEPTION_EXECUTE_HANDLER;
}

static void queryFile (const char* path)
{
    currentPath = path;

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA (path, &handle);

    if (size == 0)
    {
        printLine (path, "", "", "", "No version information supplied.");
        return;
    }

    char* block = (char*) calloc (size, 1);

    if (block == NULL)
    {
        fputs ("verquery: out of memory\n", stderr);
        exit (3);
    }

    /* The scanner does not look at the result of the read: a failed read leaves
       the zero-filled buffer, in which every query fails. */
    GetFileVersionInfoA (path, handle, size, block);

    char* found[3] = { NULL, NULL, NULL };
    const char* error = "";

    for (int t = 0; t < 4; ++t)
    {
        int complete = 1;

        for (int k = 0; k < 3; ++k)
        {
            char subBlock[64];
            snprintf (subBlock, sizeof (subBlock), "\\StringFileInfo\\%s\\%s", tables[t], keys[k]);

            void* value = NULL;
            UINT length = 0;

            if (! VerQueryValueA (block, subBlock, &value, &length) || value == NULL)
            {
                complete = 0;
                break;
            }

            free (found[k]);
            found[k] = copyString ((const char*) value);
        }

        if (complete)
        {
            error = "";
            break;
        }

        error = "Problem retrieving information";
    }

    printLine (path,
               found[0] != NULL ? found[0] : "",
               found[1] != NULL ? found[1] : "",
               found[2] != NULL ? found[2] : "",
               error);

    for (int k = 0; k < 3; ++k)
        free (found[k]);

    free (block);
}

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        fputs ("usage: verquery FILE...\n", stderr);
        return 2;
    }

    if (GetACP() != 1252)
    {
        fprintf (stderr, "verquery: the ANSI code page is %u, not 1252; run with an English locale\n", GetACP());
        return 3;
    }

    SetErrorMode (SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter (onCrash);

    /* Text mode would turn each "\n" into CR LF. */
    _setmode (_fileno (stdout), _O_BINARY);

    for (int i = 1; i < argc; ++i)
    {
        queryFile (argv[i]);
        fflush (stdout);
    }

    return 0;
}
