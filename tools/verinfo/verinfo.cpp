/*  verinfo: prints, for each file named, what the plug-in scanner reads from its version
    resource, as one tab-separated line of plain ASCII. Used to check the reader against
    the real Windows functions (run under Wine) and to look at a plug-in that scans oddly.
*/

#include "pe/PeVersionReader.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace
{
    constexpr const char* usageText =
        "Usage: verinfo [--] FILE...\n"
        "\n"
        "Reads the Windows version resource of each FILE as the plug-in scanner does and\n"
        "prints one tab-separated line per file:\n"
        "\n"
        "    path  ProductName  ProductVersion  CompanyName  Error\n"
        "\n"
        "The path is printed as given; ProductVersion is the raw text, before cleaning.\n"
        "Error is empty when a string table held all three values, \"Problem retrieving\n"
        "information\" when none did, and \"No version information supplied.\" when the\n"
        "file has no version resource (or cannot be opened). Every byte outside 0x20-0x7E,\n"
        "and the backslash, is written as \\xNN (upper-case hex), so the output is ASCII;\n"
        "values are Windows-1252 bytes.\n"
        "\n"
        "Options:\n"
        "    --help    print this text and exit\n"
        "    --        end of options: every later argument is a file\n"
        "\n"
        "Exit status: 0 when every file could be opened (whatever it held), 1 when at\n"
        "least one could not (its line is still printed) or the output could not be written,\n"
        "2 on a usage error.\n";

    std::string escape (std::string_view text)
    {
        static constexpr char hexDigits[] = "0123456789ABCDEF";
        std::string out;
        out.reserve (text.size());

        for (const auto c : text)
        {
            const auto byte = static_cast<unsigned char> (c);

            if (byte >= 0x20 && byte <= 0x7e && byte != '\\')
            {
                out.push_back (c);
            }
            else
            {
                out += "\\x";
                out.push_back (hexDigits[byte >> 4]);
                out.push_back (hexDigits[byte & 0x0f]);
            }
        }

        return out;
    }

    const char* errorText (pe::VersionStatus status)
    {
        switch (status)
        {
            case pe::VersionStatus::complete:      return "";
            case pe::VersionStatus::incomplete:    return "Problem retrieving information";
            case pe::VersionStatus::noVersionInfo: break;
        }

        return "No version information supplied.";
    }

    /** Reads one file and prints its line; false when the file could not be opened. */
    bool printFile (const std::string& path)
    {
        pe::FileSource source (path);
        const auto strings = source.isOpen() ? pe::readVersionStrings (source) : pe::VersionStrings {};

        const auto line = escape (path) + '\t' + escape (strings.name) + '\t' + escape (strings.version)
                        + '\t' + escape (strings.vendor) + '\t' + errorText (strings.status) + '\n';

        std::fwrite (line.data(), 1, line.size(), stdout);
        return source.isOpen();
    }
}

int main (int argc, char* argv[])
{
    bool optionsEnded = false;
    bool allOpened = true;
    int files = 0;

    // Options are looked at first, so that --help never reads a file.
    for (int i = 1; i < argc; ++i)
    {
        const std::string_view argument (argv[i]);

        if (argument == "--")
            break;

        if (argument == "--help" || argument == "-h")
        {
            std::fputs (usageText, stdout);
            return 0;
        }

        if (argument.size() > 1 && argument[0] == '-')
        {
            std::fprintf (stderr, "verinfo: unknown option %s\n\n%s", argv[i], usageText);
            return 2;
        }
    }

    for (int i = 1; i < argc; ++i)
    {
        const std::string argument (argv[i]);

        if (! optionsEnded && argument == "--")
        {
            optionsEnded = true;
            continue;
        }

        ++files;
        allOpened = printFile (argument) && allOpened;
    }

    if (files == 0)
    {
        std::fputs (usageText, stderr);
        return 2;
    }

    return std::fflush (stdout) == 0 && allOpened ? 0 : 1;
}
