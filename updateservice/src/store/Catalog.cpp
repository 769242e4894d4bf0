#include "store/Catalog.h"

#include "base/Csv.h"
#include "base/PluginFormat.h"
#include "base/Utf8.h"
#include "base/VersionNumber.h"

#include <vector>

namespace
{
    constexpr std::size_t maxWebsiteBytes = 2048;

    struct Row
    {
        std::string name, vendor, format, version, website;
    };

    bool startsWith (std::string_view text, std::string_view prefix)
    {
        return text.substr (0, prefix.size()) == prefix;
    }

    // The application opens the address in the user's browser, so only
    // plain web addresses are accepted.
    bool isAcceptableWebsite (std::string_view website)
    {
        if (website.empty())
            return true;

        const auto lower = Utf8::asciiLower (website);

        return website.size() <= maxWebsiteBytes
            && (startsWith (lower, "https://") || startsWith (lower, "http://"))
            && website.find_first_of (" \"<>") == std::string_view::npos;
    }

    bool isCleanText (std::string_view text)
    {
        return Utf8::isValid (text) && ! Utf8::hasControlCharacters (text);
    }
}

Catalog::ImportResult Catalog::importCsv (Database& db, std::string_view csvText)
{
    ImportResult result;
    auto parsed = Csv::parse (csvText);

    if (! parsed.ok)
    {
        result.error = parsed.error;
        return result;
    }

    if (parsed.records.empty())
    {
        result.error = "the file is empty; it must start with the header Name,Vendor,Format,Version,Website";
        return result;
    }

    const std::vector<std::string> header { "name", "vendor", "format", "version", "website" };
    std::vector<std::string> givenHeader;

    for (const auto& field : parsed.records.front())
        givenHeader.push_back (Utf8::asciiLower (field));

    if (givenHeader != header)
    {
        result.error = "line 1: the header must be Name,Vendor,Format,Version,Website";
        return result;
    }

    std::vector<Row> rows;

    for (std::size_t i = 1; i < parsed.records.size(); ++i)
    {
        const auto& record = parsed.records[i];
        const auto where = "record " + std::to_string (i + 1) + ": ";

        if (record.size() != 5)
        {
            result.error = where + "expected 5 fields, found " + std::to_string (record.size());
            return result;
        }

        for (const auto& field : record)
        {
            if (! isCleanText (field))
            {
                result.error = where + "a field is not valid UTF-8 text or holds control characters";
                return result;
            }
        }

        Row row { record[0], record[1], record[2], VersionNumber::clean (record[3]), record[4] };

        if (row.name.empty())
        {
            result.error = where + "the Name is empty";
            return result;
        }

        if (! PluginFormat::isListable (row.format))
        {
            result.error = where + "the Format \"" + row.format + "\" is not one of " + PluginFormat::listableNames();
            return result;
        }

        // Older programs sent no format for VST plug-ins; a row without
        // one is read the same way.
        if (row.format.empty())
            row.format = "VST";

        if (! VersionNumber::isUsable (row.version))
        {
            result.error = where + "the Version \"" + record[3] + "\" holds no number";
            return result;
        }

        if (! isAcceptableWebsite (row.website))
        {
            result.error = where + "the Website must be empty or an http:// or https:// address";
            return result;
        }

        rows.push_back (std::move (row));
    }

    Database::Transaction transaction (db);
    Database::Statement upsert (db,
        "INSERT INTO catalog (name_key, vendor_key, format_key, name, vendor, format, version, website) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) "
        "ON CONFLICT (name_key, vendor_key, format_key) DO UPDATE SET "
        "name = excluded.name, vendor = excluded.vendor, format = excluded.format, "
        "version = excluded.version, website = excluded.website");

    for (const auto& row : rows)
    {
        upsert.bind (1, Utf8::asciiLower (row.name)).bind (2, Utf8::asciiLower (row.vendor))
              .bind (3, PluginFormat::key (row.format)).bind (4, row.name).bind (5, row.vendor)
              .bind (6, row.format).bind (7, row.version).bind (8, row.website);
        upsert.run();
        upsert.reset();
    }

    transaction.commit();

    result.ok = true;
    result.rows = rows.size();
    return result;
}

//==============================================================================
Catalog::Lookup::Lookup (Database& db)
    : query (db, "SELECT version, website FROM catalog WHERE name_key = ?1 AND vendor_key = ?2 AND format_key = ?3")
{
}

std::optional<Catalog::Entry> Catalog::Lookup::find (const std::string& nameKey, const std::string& vendorKey,
                                                     const std::string& formatKey)
{
    query.bind (1, nameKey).bind (2, vendorKey).bind (3, formatKey);

    std::optional<Entry> entry;

    if (query.step())
        entry = Entry { query.columnText (0), query.columnText (1) };

    // Left rewound, so no statement is in the middle of a read when the
    // scan's transaction ends.
    query.reset();
    return entry;
}
