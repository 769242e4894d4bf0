#pragma once

#include "gui/views/PluginTab.h"

/** The plug-ins with a newer version, from the current machine's update list. */
class UpdatesTableList final : public PluginTableList
{
public:
    explicit UpdatesTableList (const AppContext& appContext)
        : PluginTableList (appContext, TableRules::TableDefinition::updates(), "UpdatesTableList")
    {
    }
};

/** The "Updates" tab: a navigation bar above the update list's table. */
class UpdatesTab final : public PluginTab
{
public:
    explicit UpdatesTab (const AppContext& appContext)
        : PluginTab (appContext, makeTable, "UpdatesTab")
    {
    }

private:
    static std::unique_ptr<PluginTableList> makeTable (const AppContext& appContext)
    {
        auto table = std::make_unique<UpdatesTableList> (appContext);
        table->setName ("updateList");   // the tab's name for its child
        return table;
    }
};
