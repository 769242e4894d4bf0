#pragma once

#include "PeByteSource.h"
#include "PeFileSource.h"
#include "PeMemorySource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/*  Reads the Windows version resource of a ".dll" file without Windows: the equivalent of
    GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA as far as the plug-in
    scanner uses them. Only the few structures on the way to the version block are read
    (see PeImage), never the whole file. Nothing here throws on malformed input; a broken
    file reads as "no version information" or gives the strings found before the damage.
*/
namespace pe
{
    /** The raw version block of a file, as GetFileVersionInfo gives it. */
    class VersionInfo
    {
    public:
        /** std::nullopt when the file has no version resource ("size 0"): not a PE image, or no
            resource of type 16 with integer name 1 reachable through the resource directory.
            A resource whose data is empty or cannot be read gives an empty block, in which
            every query fails. Any thread may call this, one ByteSource per thread.
        */
        static std::optional<VersionInfo> read (ByteSource&);

        /** VerQueryValueA of "\StringFileInfo\<table>\<key>": nullopt when not found,
            otherwise the Windows-1252 bytes of the value, ending at its first NUL. Values that
            are not stored as UTF-16 text (wType 0, or any value of a block in the 16-bit layout)
            are handed back as their raw bytes.

            Names match without regard to ASCII letter case (other characters must be equal),
            whole names only, and the first of several equal names is the one searched.
            A key without a value is found with "".
        */
        std::optional<std::string> queryString (std::string_view table, std::string_view key) const;

        /** VerQueryValueA of any backslash-separated path, read as a string: empty path
            components are skipped and the path ends at a NUL. An empty path names the root. */
        std::optional<std::string> queryValue (std::string_view path) const;

        /** The block as read from the file: at most 65535 bytes. */
        const std::vector<std::uint8_t>& getData() const noexcept     { return data; }

    private:
        explicit VersionInfo (std::vector<std::uint8_t> block);

        std::vector<std::uint8_t> data;
    };

    //==============================================================================
    enum class VersionStatus { complete, incomplete, noVersionInfo };

    struct VersionStrings
    {
        std::string name, version, vendor;   // Windows-1252 bytes, version raw (not cleaned)
        VersionStatus status = VersionStatus::noVersionInfo;
    };

    /** The scanner's four-table, three-key reading of a file.

        Tables "040904e4", "000004e4", "000004b0" and "040904b0" are tried in that order; in each,
        "ProductName", "ProductVersion" and "CompanyName" are looked up until one is missing.
        The first table with all three ends the search (complete); otherwise the result is
        incomplete. Each field keeps the value of its last successful lookup, "" if none.
    */
    VersionStrings readVersionStrings (ByteSource&);

    /** As above for a file; a file that cannot be opened (or is not a regular file) gives noVersionInfo. */
    VersionStrings readVersionStrings (const std::string& path);
}
