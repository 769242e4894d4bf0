#pragma once

#include "Catalog.h"
#include "ConnectionPool.h"
#include "InventoryParser.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/**
    The stored side of the scans: the "machine", "plugin" and
    "known_version" tables, and reading the catalog while a scan is stored.

    The store itself only keeps the pool. All work goes through a
    Transaction, which holds one connection and one write transaction
    (BEGIN IMMEDIATE) for its lifetime: everything a scan writes becomes
    visible at once on commit(), and nothing of it when the Transaction
    ends without commit(). Store failures throw Database::Error.

    The store may be shared by any number of threads; a Transaction belongs
    to the thread that made it.
*/
class InventoryStore
{
public:
    explicit InventoryStore (ConnectionPool& pool);

    /** Plug-ins are the same for the known versions when their names and
        vendors are, without regard to ASCII case: these are the keys in
        ASCII lower case, name first. */
    using PluginKey = std::pair<std::string, std::string>;

    class Transaction
    {
    public:
        /** Takes a connection and the write lock; waits for other writers
            up to the busy time-out. */
        explicit Transaction (InventoryStore& store);

        Transaction (const Transaction&) = delete;
        Transaction& operator= (const Transaction&) = delete;

        /** Makes the inventory the account's inventory of its machine (the
            machine is named by the inventory): a machine seen before keeps
            its row and gets new details and plug-ins. */
        void replaceInventory (std::int64_t accountId, const InventoryParser::Inventory& inventory,
                               std::int64_t uploadedAt);

        /** Raises the remembered newest version of each plug-in to the
            given one where that is higher, and returns the remembered
            versions of all of them. Versions must be cleaned. */
        std::map<PluginKey, std::string> raiseKnownVersions (const std::map<PluginKey, std::string>& uploaded);

        /** The catalog's newest entry for a plug-in; see Catalog::Lookup. */
        std::optional<Catalog::Entry> listedNewest (const std::string& nameKey, const std::string& vendorKey,
                                                    const std::string& formatKey);

        void commit();

    private:
        ConnectionPool::Lease lease;
        Database::Transaction transaction;
        Catalog::Lookup catalog;
    };

private:
    ConnectionPool& connections;
};
