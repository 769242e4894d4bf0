#pragma once

#include "gui/views/PluginTab.h"

/** Every plug-in of the last scan, from the current machine's inventory. */
class InstalledTableList final : public PluginTableList
{
public:
    explicit InstalledTableList (const AppContext& appContext)
        : PluginTableList (appContext, TableRules::TableDefinition::installed(), "InstalledTableList")
    {
    }
};

/** The "Installed" tab: a navigation bar above the inventory's table. */
class InstalledTab final : public PluginTab
{
public:
    explicit InstalledTab (const AppContext& appContext)
        : PluginTab (appContext, makeTable, "InstalledTab")
    {
    }

private:
    static std::unique_ptr<PluginTableList> makeTable (const AppContext& appContext)
    {
        auto table = std::make_unique<InstalledTableList> (appContext);
        table->setName ("installedList");   // the tab's name for its child
        return table;
    }
};
