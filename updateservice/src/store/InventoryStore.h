#pragma once

#include "base/InventoryParser.h"
#include "store/Catalog.h"
#include "store/ConnectionPool.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

/**
    The stored side of the scans: the "machine", "plugin_list" and "plugin"
    tables, and reading the catalog while a scan is stored.

    Inventories are stored compactly: a machine's plug-ins are one
    zlib-compressed list ("plugin_list"; see readPlugins()), and "plugin"
    keeps only what the crowd learns from them: per machine and plug-in
    (the hash of its Name, Vendor and format without regard to ASCII
    case; see PluginFormat) the highest version it holds, as "learned": a
    sort key, a space and the cleaned version. A list stored before
    formats were told apart (schema version 6) reports all its plug-ins
    as VST until the machine's next scan. Plug-ins without a name, with a
    version that cannot be compared or one longer than
    maxLearnedVersionBytes report nothing,
    and so do the machines of accounts whose address is not confirmed:
    their reports are written when it is (addReportsOf()) and taken back
    when it no longer is (removeReportsOf()). Each machine keeps the
    network of its latest upload.

    All work goes through a Transaction, which holds one connection and one
    write transaction (BEGIN IMMEDIATE) for its lifetime: everything a scan
    writes becomes visible at once on commit(), and nothing of it when the
    Transaction ends without commit(). Store failures throw Database::Error.

    The store may be shared by any number of threads; a Transaction belongs
    to the thread that made it.
*/
class InventoryStore
{
public:
    explicit InventoryStore (ConnectionPool& pool);

    /** Versions longer than this (as uploaded) are not learned from. */
    static constexpr std::size_t maxLearnedVersionBytes = 64;

    /** The hash that names a plug-in for the learned versions: of its Name
        and Vendor in ASCII lower case and its format's PluginFormat::key(),
        so that the versions of each format are learned apart. */
    static std::int64_t keyHash (std::string_view name, std::string_view vendor, std::string_view format);

    /** Writes the plug-ins of a machine that has none stored, on a
        connection inside a write transaction. */
    static void writePlugins (Database& db, std::int64_t machineId,
                              const std::vector<InventoryParser::Plugin>& plugins);

    /** The stored plug-ins of a machine, in their order. Throws
        Database::Error when the stored list is damaged. */
    static std::vector<InventoryParser::Plugin> readPlugins (Database& db, std::int64_t machineId);

    /** Writes the reports of every machine of an account that has just
        been confirmed, and takes them back when it no longer is; on a
        connection inside a write transaction. */
    static void addReportsOf (Database& db, std::int64_t accountId);
    static void removeReportsOf (Database& db, std::int64_t accountId);

    /** Writes the reports of a machine's stored list, for a machine of a
        confirmed account that has none written; on a connection inside a
        write transaction. */
    static void writeReportsOf (Database& db, std::int64_t machineId);

    class Transaction
    {
    public:
        /** Takes a connection and the lock for writing the account's
            scan (see Database::Transaction); waits for other writers up to
            the busy time-out. */
        Transaction (InventoryStore& store, std::int64_t accountId);

        Transaction (const Transaction&) = delete;
        Transaction& operator= (const Transaction&) = delete;

        /** Makes the inventory the account's inventory of its machine (the
            machine is named by the inventory), uploaded from `network`: a
            machine seen before keeps its row and gets new details and
            plug-ins. A machine not seen before is added only while the
            account has fewer than `maxMachines`: returns false, changing
            nothing, otherwise. */
        bool replaceInventory (std::int64_t accountId, const InventoryParser::Inventory& inventory,
                               std::int64_t uploadedAt, int maxMachines, const std::string& network);

        /** The version of a plug-in in one format (its keyHash()) that the
            crowd establishes, cleaned as uploaded, or nothing. Each confirmed account reports once, with
            the highest version its machines hold, from the networks of the
            machines that hold it. Walking down from the highest, the
            reports form groups: a group closes once it has `accounts`
            accounts from `accounts` different networks, and establishes
            the version of the report that closed it (every account of the
            group holds it or a higher one). A version whose first number
            is more than 1 above the highest version known below it (the
            catalog's `listed` for the same format, empty for none, or a
            lower established
            version that is not held back itself) is held back, and so is
            every version above it. The highest established version not
            held back is the answer. */
        std::optional<std::string> learnedVersion (std::int64_t keyHash, int accounts, const std::string& listed);

        /** The catalog's row of a plug-in in one format; see Catalog::Lookup. */
        std::optional<Catalog::Entry> listed (const std::string& nameKey, const std::string& vendorKey,
                                              const std::string& formatKey);

        struct Wanted
        {
            std::string nameKey, vendorKey, formatKey;
            std::int64_t hash = 0;   ///< keyHash()
        };

        /** Reads the catalog rows and the first page of reports of many
            plug-ins in a few statements, for the listed() and
            learnedVersion() calls about them that follow: an upload's
            plug-ins then cost a few round trips to a database server, not
            two each. Nothing to do for SQLite, which has no round trips. */
        void prefetch (const std::vector<Wanted>& plugins);

        void commit();

    private:
        std::unique_lock<std::mutex> gate;   ///< see WriteGate.h (SQLite only); first in, last out
        ConnectionPool::Lease lease;
        Database::Transaction transaction;
        Catalog::Lookup catalog;
        std::unique_ptr<Database::Statement> firstPage, nextPage;   ///< of the reports; prepared on first use

        struct Report
        {
            std::string learned;
            std::int64_t account = 0;
            std::optional<std::string> network;
            std::int64_t machine = 0;
        };

        std::unordered_map<std::string, std::optional<Catalog::Entry>> prefetchedListed;   ///< by the three keys
        std::unordered_map<std::int64_t, std::vector<Report>> prefetchedReports;       ///< the first page, by hash
    };

private:
    ConnectionPool& connections;
};
