#include "InventoryStore.h"

#include "VersionNumber.h"

namespace
{
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
}

InventoryStore::InventoryStore (ConnectionPool& pool)
    : connections (pool)
{
}

InventoryStore::Transaction::Transaction (InventoryStore& store)
    : lease (store.connections.acquire()),
      transaction (*lease),
      catalog (*lease)
{
}

void InventoryStore::Transaction::replaceInventory (std::int64_t accountId, const InventoryParser::Inventory& inventory,
                                                    std::int64_t uploadedAt)
{
    const auto machineId = storeMachine (*lease, accountId, inventory, uploadedAt);
    storePlugins (*lease, machineId, inventory.plugins);
}

std::map<InventoryStore::PluginKey, std::string>
InventoryStore::Transaction::raiseKnownVersions (const std::map<PluginKey, std::string>& uploaded)
{
    auto known = uploaded;

    Database::Statement select (*lease, "SELECT version FROM known_version WHERE name_key = ?1 AND vendor_key = ?2");
    Database::Statement upsert (*lease, "INSERT INTO known_version (name_key, vendor_key, version) VALUES (?1, ?2, ?3) "
                                        "ON CONFLICT (name_key, vendor_key) DO UPDATE SET version = excluded.version");

    for (auto& [key, version] : known)
    {
        select.bind (1, key.first).bind (2, key.second);
        const bool exists = select.step();
        const auto remembered = exists ? select.columnText (0) : std::string {};
        select.reset();

        if (exists && VersionNumber::compare (remembered, version) >= 0)
        {
            version = remembered;
            continue;
        }

        upsert.bind (1, key.first).bind (2, key.second).bind (3, version);
        upsert.run();
        upsert.reset();
    }

    return known;
}

std::optional<Catalog::Entry> InventoryStore::Transaction::listedNewest (const std::string& nameKey,
                                                                         const std::string& vendorKey,
                                                                         const std::string& formatKey)
{
    return catalog.newest (nameKey, vendorKey, formatKey);
}

void InventoryStore::Transaction::commit()
{
    transaction.commit();
}
