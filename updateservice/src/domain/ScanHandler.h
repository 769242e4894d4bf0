#pragma once

#include "base/InventoryParser.h"
#include "domain/Accounts.h"
#include "domain/Outcome.h"
#include "store/InventoryStore.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

/**
    Answers the scan upload: checks the account, reads the uploaded
    inventory, keeps it as that account's inventory of that machine (a new
    scan replaces the machine's previous one in one transaction), and
    answers with the update list: one row for each installed plug-in of
    which a newer version is known.

    The newest known version of a plug-in (same Name, Vendor and format
    without regard to ASCII case; a row without a format is VST, see
    PluginFormat) is the highest of the catalog's row of that format and
    of the version learned from the inventories for that format
    (InventoryStore::learnedVersion):
    one that at least `reportingAccounts` confirmed accounts from as many
    networks (IPv4 /24, IPv6 /48, as seen at upload) hold, or a higher one,
    in their current inventories, and whose first number is at most 1
    above the highest version known below it. Throw-away accounts cannot
    make up a version for everyone, and a later scan that no longer holds
    a version withdraws its report. The catalog alone gives the web site.

    An account keeps the inventories of at most `maxMachinesPerAccount`
    machines: a scan of a further machine is refused (none is dropped
    silently), while a new scan of a known machine always replaces it.

    Thread-safe; each call uses its own store transaction. It does not own
    the store or the accounts; they must outlive it.
*/
class ScanHandler
{
public:
    using Clock = std::function<std::int64_t()>;

    struct Settings
    {
        InventoryParser::Limits limits;
        int maxMachinesPerAccount = 10;   ///< 0: no limit
        int reportingAccounts = 3;
    };

    ScanHandler (InventoryStore& store, Accounts& accounts, Settings settings, Clock clock);

    /** `inventory` is the uploaded file's content, or nothing when the
        request carried no file; `clientAddress` is the address the request
        came from (for the log-in limits). Refusals are errors outcomes,
        also when the disk is full (Outcome::outOfRoom(); nothing of the
        scan is stored then); other store failures throw Database::Error. */
    Outcome handle (const std::string& email, const std::string& password,
                    std::optional<std::string_view> inventory, std::string_view clientAddress);

private:
    /** Checks the log-in, stores the inventory and makes the update list. */
    Outcome store (const std::string& email, const std::string& password, std::string_view inventoryText,
                   std::string_view clientAddress);

    InventoryStore& inventories;
    Accounts& accounts;
    const Settings settings;
    const Clock now;
};
