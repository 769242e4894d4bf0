/*  libFuzzer target for the version-resource reader: any byte string, read as a file,
    must give a result without a crash, a hang or a read outside its buffer.
    Built by scripts/fuzz.sh with -fsanitize=fuzzer,address,undefined.
*/

#include "pe/PeVersionReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
    void check (bool condition)
    {
        if (! condition)
            std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    pe::MemorySource source (data, size);

    if (const auto info = pe::VersionInfo::read (source))
    {
        check (info->getData().size() <= 0xffff);

        // The scanner's names, names in other letter case and paths that are odd as paths.
        static const char* const tables[] = { "040904e4", "000004B0", "", "\\", "040904e4\\ProductName", "x\\\\y\\" };
        static const char* const keys[] = { "ProductName", "companyname", "", "\\", "Translation", "\x80\xe9", "VS_VERSION_INFO" };

        for (const auto* table : tables)
            for (const auto* key : keys)
                if (const auto value = info->queryString (table, key))
                    check (value->find ('\0') == std::string::npos && value->size() < info->getData().size());

        info->queryValue ("");
        info->queryValue ("\\VarFileInfo\\Translation");
        info->queryValue (std::string_view ("\\StringFileInfo\0\\x", 18));
    }

    pe::MemorySource again (data, size);
    const auto strings = pe::readVersionStrings (again);

    if (strings.status == pe::VersionStatus::noVersionInfo)
        check (strings.name.empty() && strings.version.empty() && strings.vendor.empty());

    return 0;
}
