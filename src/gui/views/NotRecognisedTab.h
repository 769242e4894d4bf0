#pragma once

#include "gui/views/PluginTab.h"

/** The files the last scan found but could not use, each with the reason,
    from the current machine's scan details.
*/
class NotRecognisedTableList final : public PluginTableList
{
public:
    explicit NotRecognisedTableList (const AppContext& appContext)
        : PluginTableList (appContext, TableRules::TableDefinition::notRecognised(), "NotRecognisedTableList")
    {
    }
};

/** The "Not Recognised" tab: a navigation bar above the unused files' table. */
class NotRecognisedTab final : public PluginTab
{
public:
    explicit NotRecognisedTab (const AppContext& appContext)
        : PluginTab (appContext, makeTable, "NotRecognisedTab")
    {
    }

private:
    static std::unique_ptr<PluginTableList> makeTable (const AppContext& appContext)
    {
        auto table = std::make_unique<NotRecognisedTableList> (appContext);
        table->setName ("notRecognisedList");   // the tab's name for its child
        return table;
    }
};
