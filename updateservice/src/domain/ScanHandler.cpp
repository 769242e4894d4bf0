#include "domain/ScanHandler.h"

#include "base/PluginFormat.h"
#include "base/Utf8.h"
#include "base/VersionNumber.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace
{
    const std::string refusedTitle = "Scan Not Accepted";

    std::string machinesText (int limit)
    {
        return "This account already keeps the inventories of " + std::to_string (limit)
             + (limit == 1 ? " machine" : " machines") + ", the most it can keep. Scans of those machines "
               "are still accepted; a scan of another machine is not.";
    }
}

ScanHandler::ScanHandler (InventoryStore& inventoryStore, Accounts& accountStore, Settings scanSettings, Clock clock)
    : inventories (inventoryStore), accounts (accountStore), settings (scanSettings), now (std::move (clock))
{
}

Outcome ScanHandler::handle (const std::string& email, const std::string& password,
                             std::optional<std::string_view> inventoryText, std::string_view clientAddress)
{
    if (! inventoryText.has_value())
        return Outcome::errors (refusedTitle, "The upload holds no inventory file (form field \"userfile\").");

    try
    {
        return store (email, password, *inventoryText, clientAddress);
    }
    catch (const Database::Error& e)
    {
        // The scan's transaction rolled back: the machine keeps the
        // inventory it had.
        if (e.isFull())
            return Outcome::outOfRoom();

        throw;
    }
}

Outcome ScanHandler::store (const std::string& email, const std::string& password, std::string_view inventoryText,
                            std::string_view clientAddress)
{
    const auto login = accounts.logIn (email, password, clientAddress);

    if (! login.ok)
        return Outcome::errors (login.errorTitle, login.errorText);

    const auto parsed = InventoryParser::parse (inventoryText, settings.limits);

    if (! parsed.ok)
        return Outcome::errors (refusedTitle, "The inventory could not be read: " + parsed.error + ".");

    const auto accountId = login.accountId;
    const auto& inventory = parsed.inventory;
    const auto network = Accounts::networkKey (clientAddress);
    InventoryStore::Transaction transaction (inventories, accountId);

    if (! transaction.replaceInventory (accountId, inventory, now(), settings.maxMachinesPerAccount, network))
        return Outcome::errors ("Too Many Machines", machinesText (settings.maxMachinesPerAccount));

    // What the catalog and the crowd know of every plug-in, read ahead in
    // a few statements.
    {
        std::vector<InventoryStore::Transaction::Wanted> wanted;
        std::unordered_set<std::int64_t> seen;

        for (const auto& plugin : inventory.plugins)
        {
            const auto hash = InventoryStore::keyHash (plugin.name, plugin.vendor, plugin.format);

            if (! plugin.name.empty() && seen.insert (hash).second)
                wanted.push_back ({ Utf8::asciiLower (plugin.name), Utf8::asciiLower (plugin.vendor),
                                    PluginFormat::key (plugin.format), hash });
        }

        transaction.prefetch (wanted);
    }

    // A plug-in listed several times is looked up once.
    std::unordered_map<std::int64_t, std::optional<std::string>> learned;
    std::vector<Outcome::Row> rows;

    for (const auto& plugin : inventory.plugins)
    {
        const auto installed = VersionNumber::clean (plugin.version);

        if (plugin.name.empty() || ! VersionNumber::isUsable (installed))
            continue;

        // The catalog row and the reports are those of the row's format
        // only: a VST3 release is not an update of a VST plug-in.
        const auto listed = transaction.listed (Utf8::asciiLower (plugin.name), Utf8::asciiLower (plugin.vendor),
                                                PluginFormat::key (plugin.format));
        const auto hash = InventoryStore::keyHash (plugin.name, plugin.vendor, plugin.format);
        auto found = learned.find (hash);

        if (found == learned.end())
            found = learned.emplace (hash, transaction.learnedVersion (hash, settings.reportingAccounts,
                                                                        listed ? listed->version : std::string {})).first;

        std::string newest = listed ? listed->version : std::string {};

        if (found->second.has_value() && (newest.empty() || VersionNumber::compare (*found->second, newest) > 0))
            newest = *found->second;

        if (newest.empty() || VersionNumber::compare (newest, installed) <= 0)
            continue;

        rows.push_back ({ plugin.name, plugin.vendor, plugin.format, installed, newest,
                          listed ? listed->website : std::string {} });
    }

    transaction.commit();
    return Outcome::updateList (std::move (rows));
}
