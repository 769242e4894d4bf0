#include "core/inventory/PluginFileInfo.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#if JUCE_WINDOWS
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #ifndef WIN32_LEAN_AND_MEAN
  #define WIN32_LEAN_AND_MEAN
 #endif
 #include <windows.h>
#else
 #include "pe/PeVersionReader.h"
#endif

namespace
{
   #if JUCE_WINDOWS
    /** The path in the ANSI code page, or "" when a character of it has no
        place there. */
    std::string toAnsiPath (const juce::String& path)
    {
        const auto* wide = path.toWideCharPointer();
        BOOL lossy = FALSE;
        const auto length = WideCharToMultiByte (CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &lossy);

        if (length <= 0 || lossy)
            return {};

        std::string ansi ((size_t) length, '\0');
        WideCharToMultiByte (CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi.data(), length, nullptr, &lossy);
        ansi.resize ((size_t) length - 1);
        return lossy ? std::string() : ansi;
    }

    /** The text of a value that VerQueryValueA handed back: its bytes up to
        the first zero byte, and never past the end of the block. */
    std::string valueText (const char* value, const std::vector<char>& block)
    {
        const auto start = reinterpret_cast<std::uintptr_t> (block.data());
        const auto at = reinterpret_cast<std::uintptr_t> (value);

        if (at < start || at >= start + block.size())
            return {};

        const auto* end = block.data() + block.size();
        return std::string (value, std::find (value, end, '\0'));
    }

    /** The version-information calls, 8-bit forms. A path that the ANSI code
        page cannot hold (a folder named in another script) is opened by its
        Unicode name instead, where the 8-bit name would find no file. */
    PluginFileInfo readWithVersionApi (const juce::File& file)
    {
        const auto path = file.getFullPathName();
        const auto ansiPath = toAnsiPath (path);
        DWORD handle = 0;

        const auto size = ansiPath.empty() ? GetFileVersionInfoSizeW (path.toWideCharPointer(), &handle)
                                           : GetFileVersionInfoSizeA (ansiPath.c_str(), &handle);

        PluginFileInfo info;

        if (size == 0)
        {
            info.error = PluginFileInfo::noVersionInformation;
            return info;
        }

        // A failed read leaves the zero-filled block, in which every query
        // fails. VerQueryValueA walks the block by the lengths the file
        // declares and converts text into the room behind the data, so a
        // damaged length must not take it past the end: the block is padded
        // with zeros for the largest length a version block can declare.
        constexpr size_t room = 2 * 0x10000 + 16;
        std::vector<char> block ((size_t) size + room, 0);
        info.bytesRead = size;

        if (ansiPath.empty())
            GetFileVersionInfoW (path.toWideCharPointer(), handle, size, block.data());
        else
            GetFileVersionInfoA (ansiPath.c_str(), handle, size, block.data());

        static constexpr const char* tables[] = { "040904e4", "000004e4", "000004b0", "040904b0" };
        static constexpr const char* keys[] = { "ProductName", "ProductVersion", "CompanyName" };
        std::string found[3];

        for (auto* table : tables)
        {
            bool complete = true;

            for (size_t k = 0; k < 3; ++k)
            {
                const auto subBlock = std::string ("\\StringFileInfo\\") + table + "\\" + keys[k];
                void* value = nullptr;
                UINT length = 0;

                if (! VerQueryValueA (block.data(), subBlock.c_str(), &value, &length) || value == nullptr)
                {
                    complete = false;
                    break;
                }

                found[k] = valueText (static_cast<const char*> (value), block);
            }

            if (complete)
            {
                info.error = {};
                break;
            }

            info.error = PluginFileInfo::problemRetrievingInformation;
        }

        info.name = stringFromLatin1 (found[0]);
        info.version = stringFromLatin1 (found[1]);
        info.vendor = stringFromLatin1 (found[2]);
        return info;
    }
   #else
    PluginFileInfo readFrom (pe::FileSource& source)
    {
        const auto strings = source.isOpen() ? pe::readVersionStrings (source) : pe::VersionStrings {};

        PluginFileInfo info;
        info.name = stringFromLatin1 (strings.name);
        info.version = stringFromLatin1 (strings.version);
        info.vendor = stringFromLatin1 (strings.vendor);
        info.bytesRead = source.bytesRead();

        switch (strings.status)
        {
            case pe::VersionStatus::complete:       break;
            case pe::VersionStatus::incomplete:     info.error = PluginFileInfo::problemRetrievingInformation; break;
            case pe::VersionStatus::noVersionInfo:  info.error = PluginFileInfo::noVersionInformation; break;
        }

        return info;
    }
   #endif
}

juce::String stringFromLatin1 (const std::string& bytes)
{
    std::vector<juce::juce_wchar> characters (bytes.size() + 1, 0);
    std::transform (bytes.begin(), bytes.end(), characters.begin(),
                    [] (char byte) { return (juce::juce_wchar) (unsigned char) byte; });
    return juce::String (juce::CharPointer_UTF32 (characters.data()));
}

PluginFileInfo PluginFileInfo::read (const juce::File& file, [[maybe_unused]] juce::int64 knownSize)
{
   #if JUCE_WINDOWS
    // On Windows the system's own version-information calls read the file.
    return readWithVersionApi (file);
   #else
    pe::FileSource source (file.getFullPathName().toStdString(), (std::uint64_t) juce::jmax ((juce::int64) 0, knownSize));
    return readFrom (source);
   #endif
}
