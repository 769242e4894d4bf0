#pragma once

#include "gui/views/PluginTableList.h"
#include "gui/views/UpdateNavigation.h"

/** One tab of the main window: a navigation bar above a table. */
class PluginTab : public juce::Component
{
public:
    using TableFactory = std::unique_ptr<PluginTableList> (*) (const AppContext&);

    /** The bar is built first, then the table that makeTable gives; the
        context must outlive the tab.
    */
    PluginTab (const AppContext& context, TableFactory makeTable, const juce::String& name);

    void resized() override;

    UpdateNavigation& getNavigation() noexcept     { return navigation; }
    PluginTableList& getTableList() noexcept       { return *tableList; }

private:
    UpdateNavigation navigation;
    std::unique_ptr<PluginTableList> tableList;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginTab)
};
