#include "store/InventoryStore.h"

#include "base/PluginFormat.h"
#include "base/Utf8.h"
#include "base/VersionNumber.h"
#include "store/WriteGate.h"

#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <unordered_map>
#include <utility>

namespace
{
    using Plugin = InventoryParser::Plugin;

    // A key whose plain byte order is the order of VersionNumber::compare:
    // the integer part without leading zeros, led by its length in two
    // digits, then the fraction without trailing zeros ("2.50" and "02.5"
    // both give "012.5"). Integer parts are shorter than 100 digits, as
    // learned versions are at most 64 bytes.
    std::string sortKey (std::string_view cleaned)
    {
        const auto dot = cleaned.find ('.');
        auto integer = cleaned.substr (0, dot);
        auto fraction = dot == std::string_view::npos ? std::string_view {} : cleaned.substr (dot + 1);

        while (! integer.empty() && integer.front() == '0')
            integer.remove_prefix (1);

        while (! fraction.empty() && fraction.back() == '0')
            fraction.remove_suffix (1);

        const auto digits = integer.size();
        std::string key { static_cast<char> ('0' + digits / 10 % 10), static_cast<char> ('0' + digits % 10) };
        key.append (integer);
        key += '.';
        key.append (fraction);
        return key;
    }

    // What a plug-in tells the crowd: nothing for an unnamed one, a version
    // that cannot be compared, or one longer than anyone ships (which would
    // otherwise let one upload fill the index with 32 KiB keys).
    std::optional<std::string> learnedKey (const Plugin& plugin)
    {
        if (plugin.name.empty() || plugin.version.size() > InventoryStore::maxLearnedVersionBytes)
            return std::nullopt;

        const auto cleaned = VersionNumber::clean (plugin.version);

        if (! VersionNumber::isUsable (cleaned))
            return std::nullopt;

        // The version as shown follows the key after a space, which sorts
        // below every character of a key, so the order stays the keys'.
        return sortKey (cleaned) + ' ' + cleaned;
    }

    // The reports of a machine's plug-ins: per plug-in hash (of its name,
    // vendor and format) the learned key of its highest version. Only the
    // highest row counts, so one inventory reports once however often it
    // lists a plug-in. A list stored before formats were told apart
    // reports every plug-in as VST, as its reports were carried over.
    std::unordered_map<std::int64_t, std::string> reportsOf (const std::vector<Plugin>& plugins,
                                                             bool beforeFormats = false)
    {
        std::unordered_map<std::int64_t, std::string> highest;
        highest.reserve (plugins.size());

        for (const auto& plugin : plugins)
        {
            if (auto key = learnedKey (plugin))
            {
                const auto hash = InventoryStore::keyHash (plugin.name, plugin.vendor,
                                                           beforeFormats ? std::string_view ("VST") : plugin.format);
                auto [it, isNew] = highest.try_emplace (hash, *key);

                if (! isNew && *key > it->second)
                    it->second = std::move (*key);
            }
        }

        return highest;
    }

    using Reports = std::unordered_map<std::int64_t, std::string>;

    // Turns a machine's reports from `previous` into `current`, touching
    // only those that changed: a new scan of a machine mostly reports what
    // the last one did, and the reports are keyed by hash, so each write
    // lands on a page of its own.
    void updateReports (Database& db, std::int64_t machineId, const Reports& previous, const Reports& current)
    {
        Database::Statement remove (db, "DELETE FROM plugin WHERE key_hash = ?1 AND learned = ?2 AND machine_id = ?3");

        for (const auto& [hash, learned] : previous)
        {
            if (const auto kept = current.find (hash); kept != current.end() && kept->second == learned)
                continue;

            remove.bind (1, hash).bind (2, learned).bind (3, machineId);
            remove.run();
            remove.reset();
        }

        Database::Statement insert (db, "INSERT INTO plugin (key_hash, learned, machine_id) VALUES (?1, ?2, ?3)");

        for (const auto& [hash, learned] : current)
        {
            if (const auto kept = previous.find (hash); kept != previous.end() && kept->second == learned)
                continue;

            insert.bind (1, hash).bind (2, learned).bind (3, machineId);
            insert.run();
            insert.reset();
        }
    }

    // A plug-in list packed for storage: per plug-in its six texts, each as
    // its length (7 bits per byte, low bits first) and its bytes.
    void appendText (std::string& packed, const std::string& text)
    {
        auto size = text.size();

        do
        {
            const auto low = static_cast<char> (size & 0x7f);
            size >>= 7;
            packed += static_cast<char> (low | (size != 0 ? 0x80 : 0));
        }
        while (size != 0);

        packed += text;
    }

    bool readText (std::string_view& packed, std::string& text)
    {
        std::size_t size = 0;

        for (int shift = 0;; shift += 7)
        {
            if (packed.empty() || shift > 28)
                return false;

            const auto byte = static_cast<unsigned char> (packed.front());
            packed.remove_prefix (1);
            size |= static_cast<std::size_t> (byte & 0x7f) << shift;

            if ((byte & 0x80) == 0)
                break;
        }

        if (size > packed.size())
            return false;

        text.assign (packed.substr (0, size));
        packed.remove_prefix (size);
        return true;
    }

    std::string pack (const std::vector<Plugin>& plugins)
    {
        std::string packed;

        for (const auto& p : plugins)
            for (const auto* text : { &p.name, &p.version, &p.vendor, &p.path, &p.format, &p.error })
                appendText (packed, *text);

        return packed;
    }

    // Listed plug-ins repeat their vendors, folders and formats; zlib's
    // fast levels take most of that out at little cost.
    std::string compress (const std::string& packed)
    {
        auto size = compressBound (static_cast<uLong> (packed.size()));
        std::string compressed (static_cast<std::size_t> (size), '\0');

        if (compress2 (reinterpret_cast<Bytef*> (compressed.data()), &size,
                       reinterpret_cast<const Bytef*> (packed.data()), static_cast<uLong> (packed.size()), 3) != Z_OK)
            throw Database::Error ("cannot compress a plug-in list");

        compressed.resize (static_cast<std::size_t> (size));
        return compressed;
    }

    // Above the largest upload the service can be set to accept.
    constexpr std::int64_t maxPackedBytes = std::int64_t { 1100 } * 1024 * 1024;

    // zlib cannot shrink data by more than about 1:1032.
    constexpr std::int64_t maxCompressionRatio = 1100;

    void writeList (Database& db, std::int64_t machineId, const std::vector<Plugin>& plugins)
    {
        const auto packed = pack (plugins);

        if (static_cast<std::uint64_t> (packed.size()) >= static_cast<std::uint64_t> (maxPackedBytes))
            throw Database::Error ("a plug-in list is too large to store");

        const auto compressed = compress (packed);

        Database::Statement list (db, "INSERT INTO plugin_list (machine_id, plugins, packed_bytes, packed) "
                                      "VALUES (?1, ?2, ?3, ?4)");
        list.bind (1, machineId).bind (2, static_cast<std::int64_t> (plugins.size()))
            .bind (3, static_cast<std::int64_t> (packed.size())).bindBlob (4, compressed.data(), compressed.size()).run();
    }

    // A machine's stored plug-ins, and whether they were stored before
    // formats were told apart (schema version 6).
    std::vector<Plugin> readList (Database& db, std::int64_t machineId, bool& beforeFormats)
    {
        Database::Statement query (db, "SELECT plugins, packed_bytes, packed, before_formats FROM plugin_list "
                                      "WHERE machine_id = ?1");
        query.bind (1, machineId);

        if (! query.step())
            return {};

        const auto count = query.columnInt (0);
        const auto packedBytes = query.columnInt (1);
        const auto compressed = query.columnBlob (2);
        beforeFormats = query.columnInt (3) != 0;

        // The file may have been damaged or altered: sizes are checked before
        // anything is allocated from them.
        if (count < 0 || packedBytes < 0 || packedBytes >= maxPackedBytes || count * 6 > packedBytes
            || packedBytes > static_cast<std::int64_t> (compressed.size()) * maxCompressionRatio)
            throw Database::Error ("a stored plug-in list is damaged");

        std::string packed (static_cast<std::size_t> (packedBytes), '\0');
        auto size = static_cast<uLongf> (packed.size());

        if (uncompress (reinterpret_cast<Bytef*> (packed.data()), &size,
                        reinterpret_cast<const Bytef*> (compressed.data()), static_cast<uLong> (compressed.size())) != Z_OK
            || size != packed.size())
            throw Database::Error ("a stored plug-in list is damaged");

        std::vector<Plugin> plugins (static_cast<std::size_t> (count));
        std::string_view rest (packed);

        for (auto& p : plugins)
            for (auto* text : { &p.name, &p.version, &p.vendor, &p.path, &p.format, &p.error })
                if (! readText (rest, *text))
                    throw Database::Error ("a stored plug-in list is damaged");

        return plugins;
    }

    // The reports of a machine's stored inventory, which its stored list
    // gives again. A list that cannot be read any more has its reports
    // taken back at once, by looking through all of them.
    Reports storedReports (Database& db, std::int64_t machineId)
    {
        try
        {
            bool beforeFormats = false;
            auto plugins = readList (db, machineId, beforeFormats);
            return reportsOf (plugins, beforeFormats);
        }
        catch (const Database::Error&)
        {
            Database::Statement removeAll (db, "DELETE FROM plugin WHERE machine_id = ?1");
            removeAll.bind (1, machineId).run();
            return {};
        }
    }

    bool isConfirmed (Database& db, std::int64_t accountId)
    {
        Database::Statement query (db, "SELECT confirmed_at IS NOT NULL FROM account WHERE id = ?1");
        query.bind (1, accountId);
        return query.step() && query.columnInt (0) != 0;
    }

    std::vector<std::int64_t> machinesOf (Database& db, std::int64_t accountId)
    {
        Database::Statement query (db, "SELECT id FROM machine WHERE account_id = ?1");
        query.bind (1, accountId);
        std::vector<std::int64_t> machines;

        while (query.step())
            machines.push_back (query.columnInt (0));

        return machines;
    }

    // The first number of a cleaned version ("2.50" gives "2"), without
    // leading zeros.
    std::string_view firstNumber (std::string_view cleaned)
    {
        auto number = cleaned.substr (0, cleaned.find ('.'));

        while (! number.empty() && number.front() == '0')
            number.remove_prefix (1);

        return number;
    }

    // True when the first number of `version` is more than 1 above that of
    // `base`: exactly, however many digits they have.
    bool leapsAbove (std::string_view version, std::string_view base)
    {
        std::string next (firstNumber (base));
        auto i = next.size();

        for (; i > 0 && next[i - 1] == '9'; --i)
            next[i - 1] = '0';

        if (i == 0)
            next.insert (next.begin(), '1');
        else
            ++next[i - 1];

        const auto number = firstNumber (version);
        return number.size() != next.size() ? number.size() > next.size() : number > std::string_view (next);
    }

    // Returns the machine's id, or 0 when it would be a new machine beyond
    // the account's limit.
    std::int64_t storeMachine (Database& db, std::int64_t accountId, const InventoryParser::Inventory& inventory,
                               std::int64_t time, int maxMachines, Reports& previous)
    {
        const auto& m = inventory.machine;

        Database::Statement find (db, "SELECT id FROM machine WHERE account_id = ?1 AND machine_name = ?2");
        find.bind (1, accountId).bind (2, inventory.machineName());

        std::int64_t machineId = 0;

        if (find.step())
            machineId = find.columnInt (0);

        if (machineId != 0)
        {
            previous = storedReports (db, machineId);
            Database::Statement removeList (db, "DELETE FROM plugin_list WHERE machine_id = ?1");
            removeList.bind (1, machineId).run();
        }
        else
        {
            Database::Statement machines (db, "SELECT COUNT(*) FROM machine WHERE account_id = ?1");
            machines.bind (1, accountId);

            if (maxMachines > 0 && machines.step() && machines.columnInt (0) >= maxMachines)
                return 0;

            Database::Statement insert (db, "INSERT INTO machine (account_id, machine_name, platform, "
                "platform_string, cpu_vendor, cpu_speed, supports_64bit, ram, has_sse1, has_sse2, has_mmx, "
                "has_3dnow, display_language, user_language, region, profile_time, uploaded_at) "
                "VALUES (?1, ?2, '', '', '', '', '', '', '', '', '', '', '', '', '', '', 0) RETURNING id");
            insert.bind (1, accountId).bind (2, inventory.machineName());
            machineId = insert.step() ? insert.columnInt (0) : 0;
            insert.run();

            if (machineId == 0)
                throw Database::Error ("a new machine got no id");
        }

        Database::Statement update (db, "UPDATE machine SET platform = ?2, platform_string = ?3, cpu_vendor = ?4, "
            "cpu_speed = ?5, supports_64bit = ?6, ram = ?7, has_sse1 = ?8, has_sse2 = ?9, has_mmx = ?10, "
            "has_3dnow = ?11, display_language = ?12, user_language = ?13, region = ?14, profile_time = ?15, "
            "uploaded_at = ?16 WHERE id = ?1");
        update.bind (1, machineId);

        for (std::size_t i = 1; i < m.size(); ++i)
            update.bind (static_cast<int> (i + 1), m[i]);

        update.bind (16, time).run();
        return machineId;
    }
}

std::int64_t InventoryStore::keyHash (std::string_view name, std::string_view vendor, std::string_view format)
{
    // Each part led by its length, so that no two plug-ins give the same
    // text whatever bytes their names hold.
    std::string key;

    for (const auto& part : { Utf8::asciiLower (name), Utf8::asciiLower (vendor), PluginFormat::key (format) })
        key += std::to_string (part.size()) + ':' + part;

    unsigned char hash[crypto_generichash_BYTES_MIN] = {};
    crypto_generichash (hash, sizeof (hash), reinterpret_cast<const unsigned char*> (key.data()), key.size(),
                        nullptr, 0);

    std::int64_t value = 0;
    std::memcpy (&value, hash, sizeof (value));
    return value;
}

void InventoryStore::writePlugins (Database& db, std::int64_t machineId, const std::vector<Plugin>& plugins)
{
    writeList (db, machineId, plugins);
    updateReports (db, machineId, {}, reportsOf (plugins));
}

void InventoryStore::addReportsOf (Database& db, std::int64_t accountId)
{
    removeReportsOf (db, accountId);   // takes the account's lock

    for (const auto machineId : machinesOf (db, accountId))
        writeReportsOf (db, machineId);
}

void InventoryStore::writeReportsOf (Database& db, std::int64_t machineId)
{
    updateReports (db, machineId, {}, storedReports (db, machineId));
}

void InventoryStore::removeReportsOf (Database& db, std::int64_t accountId)
{
    db.lockAccount (accountId);
    Database::Statement remove (db, "DELETE FROM plugin WHERE machine_id = ?1");

    for (const auto machineId : machinesOf (db, accountId))
    {
        remove.bind (1, machineId).run();
        remove.reset();
    }
}

std::vector<Plugin> InventoryStore::readPlugins (Database& db, std::int64_t machineId)
{
    bool beforeFormats = false;
    return readList (db, machineId, beforeFormats);
}

InventoryStore::InventoryStore (ConnectionPool& pool)
    : connections (pool)
{
}

InventoryStore::Transaction::Transaction (InventoryStore& store, std::int64_t accountId)
    : gate (Database::kindOf (store.connections.path()) == Database::Kind::sqlite ? std::unique_lock<std::mutex> (writeGate())
                                                                                 : std::unique_lock<std::mutex>()),
      lease (store.connections.acquire()),
      transaction (*lease, accountId),
      catalog (*lease)
{
}

bool InventoryStore::Transaction::replaceInventory (std::int64_t accountId, const InventoryParser::Inventory& inventory,
                                                    std::int64_t uploadedAt, int maxMachines, const std::string& network)
{
    Reports previous;
    const auto machineId = storeMachine (*lease, accountId, inventory, uploadedAt, maxMachines, previous);

    if (machineId == 0)
        return false;

    Database::Statement from (*lease, "UPDATE machine SET network = ?2 WHERE id = ?1");
    from.bind (1, machineId).bind (2, network).run();

    writeList (*lease, machineId, inventory.plugins);

    // An account whose address is not confirmed reports nothing (and has
    // no reports to take back).
    if (isConfirmed (*lease, accountId))
        updateReports (*lease, machineId, previous, reportsOf (inventory.plugins));

    return true;
}

namespace
{
    // The reports are read a page at a time, highest first: the walk
    // mostly stops within the first page, and no store then sends the
    // rest (PostgreSQL sends a statement's rows all at once).
    constexpr std::int64_t pageSize = 128;

    // Plug-ins read ahead in one statement.
    constexpr std::size_t prefetchChunk = 100;

    std::string listedKey (const std::string& nameKey, const std::string& vendorKey, const std::string& formatKey)
    {
        return nameKey + '\x1f' + vendorKey + '\x1f' + formatKey;
    }
}

std::optional<std::string> InventoryStore::Transaction::learnedVersion (std::int64_t hash, int accounts,
                                                                       const std::string& listed)
{
    if (firstPage == nullptr)
    {
        const std::string select = "SELECT p.learned, m.account_id, m.network, p.machine_id FROM plugin p "
                                   "JOIN machine m ON m.id = p.machine_id WHERE p.key_hash = ?1 ";
        const std::string order = " ORDER BY p.learned DESC, p.machine_id DESC LIMIT ?2";
        firstPage = std::make_unique<Database::Statement> (*lease, select + order);
        nextPage = std::make_unique<Database::Statement> (*lease, select + "AND (p.learned, p.machine_id) < (?3, ?4)" + order);
    }

    const auto needed = static_cast<std::size_t> (std::max (accounts, 1));
    const auto versionOf = [] (const std::string& learned) { return learned.substr (learned.find (' ') + 1); };

    // Highest first, so each account is met first at its highest version:
    // that is its one report; its lower rows are passed over. The groups
    // close top down; `established` collects the versions they establish.
    std::unordered_map<std::int64_t, std::string> reported;   // account -> its learned key
    std::set<std::int64_t> groupAccounts;
    std::set<std::string> groupNetworks;
    std::vector<std::string> established;

    // Takes one report; true when the walk can stop.
    const auto take = [&] (const std::string& learned, std::int64_t account, const std::optional<std::string>& network)
    {
        const auto [it, isNew] = reported.try_emplace (account, learned);

        // Another machine of an account in the open group adds its network.
        if (! isNew && (it->second != learned || groupAccounts.count (account) == 0))
            return false;

        groupAccounts.insert (account);

        if (network)
            groupNetworks.insert (*network);

        if (groupAccounts.size() < needed || groupNetworks.size() < needed)
            return false;

        established.push_back (versionOf (learned));
        groupAccounts.clear();
        groupNetworks.clear();

        // A version no more than one first number above the catalog's
        // stands whatever lies below it: the walk can stop.
        return ! listed.empty() && ! leapsAbove (established.back(), listed);
    };

    std::optional<std::pair<std::string, std::int64_t>> after;   // the last row read: learned, machine
    bool done = false;

    const auto read = [&] (const std::string& learned, std::int64_t account, const std::optional<std::string>& network,
                           std::int64_t machine)
    {
        after = std::make_pair (learned, machine);
        done = take (learned, account, network);
    };

    // A first page read ahead, with the upload's other plug-ins.
    if (const auto prefetched = prefetchedReports.find (hash); prefetched != prefetchedReports.end())
    {
        std::int64_t rows = 0;

        for (const auto& report : prefetched->second)
        {
            if (done)
                break;

            ++rows;
            read (report.learned, report.account, report.network, report.machine);
        }

        done = done || rows < pageSize;
    }

    while (! done)
    {
        auto& page = after ? *nextPage : *firstPage;
        page.bind (1, hash).bind (2, pageSize);

        if (after)
            page.bind (3, after->first).bind (4, after->second);

        std::int64_t rows = 0;

        while (! done && page.step())
        {
            ++rows;
            read (page.columnText (0), page.columnInt (1),
                  page.columnIsNull (2) ? std::nullopt : std::optional<std::string> (page.columnText (2)),
                  page.columnInt (3));
        }

        // Left rewound, so no statement is in the middle of a read when the
        // transaction ends.
        page.reset();
        done = done || rows < pageSize;
    }

    // From the bottom up: each version must be within one first number of
    // the highest one known below it.
    std::optional<std::string> version;
    std::string bar = listed;

    for (auto it = established.rbegin(); it != established.rend(); ++it)
    {
        if (! bar.empty() && leapsAbove (*it, bar))
            break;

        version = *it;

        if (bar.empty() || VersionNumber::compare (*it, bar) > 0)
            bar = *it;
    }

    return version;
}

std::optional<Catalog::Entry> InventoryStore::Transaction::listed (const std::string& nameKey,
                                                                   const std::string& vendorKey,
                                                                   const std::string& formatKey)
{
    if (const auto prefetched = prefetchedListed.find (listedKey (nameKey, vendorKey, formatKey));
        prefetched != prefetchedListed.end())
        return prefetched->second;

    return catalog.find (nameKey, vendorKey, formatKey);
}

void InventoryStore::Transaction::prefetch (const std::vector<Wanted>& plugins)
{
    // SQLite answers in-process, where a look-up costs no round trip and
    // one long statement costs more to prepare than the look-ups it saves.
    if (plugins.empty() || lease->kind() == Database::Kind::sqlite)
        return;

    // Every statement asks for a full chunk, the last one padded with its
    // last plug-in again, so that each is one statement text. The reports
    // come as each plug-in's first page on its own, so that every part
    // stops at the page's end in the index, however many report a
    // plug-in; each part says which it is.
    std::string catalogSql = "SELECT name_key, vendor_key, format_key, version, website FROM catalog WHERE ";
    std::string reportsSql;

    for (std::size_t i = 0; i < prefetchChunk; ++i)
    {
        const auto n = std::to_string (3 * i + 1);
        catalogSql += std::string (i == 0 ? "" : " OR ") + "(name_key = ?" + n + " AND vendor_key = ?"
                    + std::to_string (3 * i + 2) + " AND format_key = ?" + std::to_string (3 * i + 3) + ")";
        reportsSql += std::string (i == 0 ? "" : " UNION ALL ")
                    + "SELECT " + std::to_string (i) + " AS part, page.* FROM (SELECT p.key_hash, p.learned, m.account_id, "
                      "m.network, p.machine_id FROM plugin p JOIN machine m ON m.id = p.machine_id WHERE p.key_hash = ?"
                    + std::to_string (i + 1) + " ORDER BY p.learned DESC, p.machine_id DESC LIMIT ?"
                    + std::to_string (prefetchChunk + 1) + ") AS page";
    }

    Database::Statement catalogRows (*lease, catalogSql), reportRows (*lease, reportsSql);

    for (std::size_t start = 0; start < plugins.size(); start += prefetchChunk)
    {
        for (std::size_t i = 0; i < prefetchChunk; ++i)
        {
            const auto& plugin = plugins[std::min (start + i, plugins.size() - 1)];
            const auto index = static_cast<int> (i);
            catalogRows.bind (3 * index + 1, plugin.nameKey).bind (3 * index + 2, plugin.vendorKey)
                       .bind (3 * index + 3, plugin.formatKey);
            reportRows.bind (index + 1, plugin.hash);

            prefetchedListed.emplace (listedKey (plugin.nameKey, plugin.vendorKey, plugin.formatKey), std::nullopt);
            prefetchedReports.emplace (plugin.hash, std::vector<Report> {});
        }

        while (catalogRows.step())
            prefetchedListed[listedKey (catalogRows.columnText (0), catalogRows.columnText (1), catalogRows.columnText (2))]
                = Catalog::Entry { catalogRows.columnText (3), catalogRows.columnText (4) };

        reportRows.bind (static_cast<int> (prefetchChunk) + 1, pageSize);

        const auto parts = static_cast<std::int64_t> (std::min (prefetchChunk, plugins.size() - start));

        while (reportRows.step())
            if (reportRows.columnInt (0) < parts)   // not a padding's
                prefetchedReports[reportRows.columnInt (1)].push_back ({ reportRows.columnText (2), reportRows.columnInt (3),
                    reportRows.columnIsNull (4) ? std::nullopt : std::optional<std::string> (reportRows.columnText (4)),
                    reportRows.columnInt (5) });

        catalogRows.reset();
        reportRows.reset();
    }

    // Highest first within each plug-in, as the pages are read, whatever
    // order the parts came in.
    for (auto& [hash, reports] : prefetchedReports)
        std::sort (reports.begin(), reports.end(), [] (const Report& a, const Report& b)
        {
            return a.learned != b.learned ? a.learned > b.learned : a.machine > b.machine;
        });
}

void InventoryStore::Transaction::commit()
{
    transaction.commit();
}
