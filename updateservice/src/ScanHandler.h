#pragma once

#include "Accounts.h"
#include "InventoryParser.h"
#include "InventoryStore.h"
#include "Outcome.h"

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

    The newest known version of a plug-in (same Name and Vendor without
    regard to ASCII case) is the highest of the catalog's and of every
    version any account has uploaded.

    Thread-safe; each call uses its own store transaction. It does not own
    the store or the accounts; they must outlive it.
*/
class ScanHandler
{
public:
    using Clock = std::function<std::int64_t()>;

    ScanHandler (InventoryStore& store, Accounts& accounts, InventoryParser::Limits limits, Clock clock);

    /** `inventory` is the uploaded file's content, or nothing when the
        request carried no file. Refusals are errors outcomes; store
        failures throw Database::Error. */
    Outcome handle (const std::string& email, const std::string& password,
                    std::optional<std::string_view> inventory);

private:
    InventoryStore& store;
    Accounts& accounts;
    const InventoryParser::Limits limits;
    const Clock now;
};
