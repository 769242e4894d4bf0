#pragma once

#include "gui/views/PluginTableList.h"
#include "gui/views/UpdateNavigation.h"

/** One tab of the main window: a navigation bar above a table. */
class PluginTab : public juce::Component
{
public:
    /** Takes the table it shows; the context must outlive the tab. */
    PluginTab (const AppContext& context, std::unique_ptr<PluginTableList> table, const juce::String& name);

    void resized() override;

    UpdateNavigation& getNavigation() noexcept     { return navigation; }
    PluginTableList& getTableList() noexcept       { return *tableList; }

private:
    UpdateNavigation navigation;
    std::unique_ptr<PluginTableList> tableList;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginTab)
};
