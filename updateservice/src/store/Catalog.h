#pragma once

#include "store/Database.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

/**
    The curated list of current plug-in versions: one row per Name, Vendor
    and Format (compared without regard to ASCII case), each with a version
    in the application's decimal form and a web site.

    Import and lookups use the connection they are given, from the thread
    that owns it.
*/
class Catalog
{
public:
    struct ImportResult
    {
        bool ok = false;
        std::size_t rows = 0;
        std::string error;   ///< what is wrong and where, when !ok
    };

    /** Imports a CSV text with the header "Name,Vendor,Format,Version,Website".
        Rows with a key that already exists replace it. A Format must be
        one of PluginFormat::isListable(); an empty one is "VST". Everything is
        checked before anything is written, and the rows go in as one
        transaction: a faulty file changes nothing. */
    static ImportResult importCsv (Database& db, std::string_view csvText);

    struct Entry
    {
        std::string version;   ///< cleaned
        std::string website;
    };

    /** Finds the catalog's row of a plug-in, for many look-ups on one
        connection. */
    class Lookup
    {
    public:
        explicit Lookup (Database& db);

        /** The row of this name, vendor and format, with its own web site:
            a release of another format is never this plug-in's. Keys are
            ASCII lower case, the format's PluginFormat::key(). */
        std::optional<Entry> find (const std::string& nameKey, const std::string& vendorKey,
                                   const std::string& formatKey);

    private:
        Database::Statement query;
    };
};
