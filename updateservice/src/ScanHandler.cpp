#include "ScanHandler.h"

#include "Utf8.h"
#include "VersionNumber.h"

#include <map>
#include <utility>

namespace
{
    const std::string refusedTitle = "Scan Not Accepted";

    using PluginKey = InventoryStore::PluginKey;

    PluginKey keyOf (const InventoryParser::Plugin& plugin)
    {
        return { Utf8::asciiLower (plugin.name), Utf8::asciiLower (plugin.vendor) };
    }

    // The highest cleaned version of each named plug-in in one upload.
    std::map<PluginKey, std::string> newestUploaded (const std::vector<InventoryParser::Plugin>& plugins)
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

        return uploaded;
    }
}

ScanHandler::ScanHandler (InventoryStore& inventoryStore, Accounts& accountStore, InventoryParser::Limits parserLimits,
                          Clock clock)
    : store (inventoryStore), accounts (accountStore), limits (parserLimits), now (std::move (clock))
{
}

Outcome ScanHandler::handle (const std::string& email, const std::string& password,
                             std::optional<std::string_view> inventoryText)
{
    if (! inventoryText.has_value())
        return Outcome::errors (refusedTitle, "The upload holds no inventory file (form field \"userfile\").");

    const auto login = accounts.logIn (email, password);

    if (! login.ok)
        return Outcome::errors (login.errorTitle, login.errorText);

    const auto parsed = InventoryParser::parse (*inventoryText, limits);

    if (! parsed.ok)
        return Outcome::errors (refusedTitle, "The inventory could not be read: " + parsed.error + ".");

    const auto& inventory = parsed.inventory;
    InventoryStore::Transaction transaction (store);

    transaction.replaceInventory (login.accountId, inventory, now());
    const auto known = transaction.raiseKnownVersions (newestUploaded (inventory.plugins));

    std::vector<Outcome::Row> rows;

    for (const auto& plugin : inventory.plugins)
    {
        const auto installed = VersionNumber::clean (plugin.version);

        if (plugin.name.empty() || ! VersionNumber::isUsable (installed))
            continue;

        const auto key = keyOf (plugin);
        const auto listed = transaction.listedNewest (key.first, key.second, Utf8::asciiLower (plugin.format));
        const auto uploaded = known.find (key);

        std::string newest = listed ? listed->version : std::string {};

        if (uploaded != known.end() && (newest.empty() || VersionNumber::compare (uploaded->second, newest) > 0))
            newest = uploaded->second;

        if (newest.empty() || VersionNumber::compare (newest, installed) <= 0)
            continue;

        rows.push_back ({ plugin.name, plugin.vendor, plugin.format, installed, newest,
                          listed ? listed->website : std::string {} });
    }

    transaction.commit();
    return Outcome::updateList (std::move (rows));
}
