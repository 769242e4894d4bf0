#include "ScanHandler.h"

#include "Catalog.h"
#include "Utf8.h"
#include "VersionNumber.h"
#include "XmlReply.h"

#include <map>
#include <utility>

namespace
{
    const std::string refusedTitle = "Scan Not Accepted";

    using PluginKey = std::pair<std::string, std::string>;

    PluginKey keyOf (const InventoryParser::Plugin& plugin)
    {
        return { Utf8::asciiLower (plugin.name), Utf8::asciiLower (plugin.vendor) };
    }

    std::int64_t storeMachine (Database& db, std::int64_t accountId,
                               const InventoryParser::Inventory& inventory, std::int64_t time)
    {
        const auto& m = inventory.machine;

        Database::Statement find (db, "SELECT id FROM machine WHERE account_id = ?1 AND machine_name = ?2");
        find.bind (1, accountId).bind (2, inventory.machineName());

        std::int64_t machineId = 0;

        if (find.step())
            machineId = find.columnInt (0);

        if (machineId != 0)
        {
            Database::Statement remove (db, "DELETE FROM plugin WHERE machine_id = ?1");
            remove.bind (1, machineId).run();
        }
        else
        {
            Database::Statement insert (db, "INSERT INTO machine (account_id, machine_name, platform, "
                "platform_string, cpu_vendor, cpu_speed, supports_64bit, ram, has_sse1, has_sse2, has_mmx, "
                "has_3dnow, display_language, user_language, region, profile_time, uploaded_at) "
                "VALUES (?1, ?2, '', '', '', '', '', '', '', '', '', '', '', '', '', '', 0)");
            insert.bind (1, accountId).bind (2, inventory.machineName()).run();
            machineId = db.lastInsertId();
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

    void storePlugins (Database& db, std::int64_t machineId, const std::vector<InventoryParser::Plugin>& plugins)
    {
        Database::Statement insert (db, "INSERT INTO plugin (machine_id, position, name, version, vendor, path, "
                                        "format, error) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        std::int64_t position = 0;

        for (const auto& p : plugins)
        {
            insert.bind (1, machineId).bind (2, position++).bind (3, p.name).bind (4, p.version)
                  .bind (5, p.vendor).bind (6, p.path).bind (7, p.format).bind (8, p.error);
            insert.run();
            insert.reset();
        }
    }

    // Raises the remembered newest version of each uploaded plug-in, and
    // returns the remembered versions of all of them.
    std::map<PluginKey, std::string> mergeKnownVersions (Database& db, const std::vector<InventoryParser::Plugin>& plugins)
    {
        std::map<PluginKey, std::string> uploaded;

        for (const auto& p : plugins)
        {
            const auto version = VersionNumber::clean (p.version);

            if (p.name.empty() || ! VersionNumber::isUsable (version))
                continue;

            auto [it, isNew] = uploaded.try_emplace (keyOf (p), version);

            if (! isNew && VersionNumber::compare (version, it->second) > 0)
                it->second = version;
        }

        Database::Statement select (db, "SELECT version FROM known_version WHERE name_key = ?1 AND vendor_key = ?2");
        Database::Statement upsert (db, "INSERT INTO known_version (name_key, vendor_key, version) VALUES (?1, ?2, ?3) "
                                        "ON CONFLICT (name_key, vendor_key) DO UPDATE SET version = excluded.version");

        for (auto& [key, version] : uploaded)
        {
            select.bind (1, key.first).bind (2, key.second);
            const bool exists = select.step();
            const auto known = exists ? select.columnText (0) : std::string {};
            select.reset();

            if (exists && VersionNumber::compare (known, version) >= 0)
            {
                version = known;
                continue;
            }

            upsert.bind (1, key.first).bind (2, key.second).bind (3, version);
            upsert.run();
            upsert.reset();
        }

        return uploaded;
    }
}

ScanHandler::ScanHandler (ConnectionPool& pool, Accounts& accountStore, InventoryParser::Limits parserLimits, Clock clock)
    : connections (pool), accounts (accountStore), limits (parserLimits), now (std::move (clock))
{
}

std::string ScanHandler::handle (const std::string& email, const std::string& password,
                                 std::optional<std::string_view> inventoryText)
{
    if (! inventoryText.has_value())
        return XmlReply::errors (refusedTitle, "The upload holds no inventory file (form field \"userfile\").");

    const auto login = accounts.logIn (email, password);

    if (! login.ok)
        return XmlReply::errors (login.errorTitle, login.errorText);

    const auto parsed = InventoryParser::parse (*inventoryText, limits);

    if (! parsed.ok)
        return XmlReply::errors (refusedTitle, "The inventory could not be read: " + parsed.error + ".");

    const auto& inventory = parsed.inventory;
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    const auto machineId = storeMachine (*db, login.accountId, inventory, now());
    storePlugins (*db, machineId, inventory.plugins);
    const auto known = mergeKnownVersions (*db, inventory.plugins);

    Catalog::Lookup catalog (*db);
    XmlReply updates ("UpdateList");

    for (const auto& plugin : inventory.plugins)
    {
        const auto installed = VersionNumber::clean (plugin.version);

        if (plugin.name.empty() || ! VersionNumber::isUsable (installed))
            continue;

        const auto key = keyOf (plugin);
        const auto listed = catalog.newest (key.first, key.second, Utf8::asciiLower (plugin.format));
        const auto uploaded = known.find (key);

        std::string newest = listed ? listed->version : std::string {};

        if (uploaded != known.end() && (newest.empty() || VersionNumber::compare (uploaded->second, newest) > 0))
            newest = uploaded->second;

        if (newest.empty() || VersionNumber::compare (newest, installed) <= 0)
            continue;

        auto& row = updates.addChild ("Plugin");
        row.set ("Name", plugin.name);
        row.set ("Vendor", plugin.vendor);
        row.set ("Format", plugin.format);
        row.set ("InstalledVersion", installed);
        row.set ("CurrentVersion", newest);
        row.set ("Website", listed ? listed->website : std::string {});
    }

    transaction.commit();
    return updates.toDocument();
}
