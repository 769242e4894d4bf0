#pragma once

#include "core/context/AppContext.h"
#include "core/tables/TableData.h"
#include "core/tables/TableRules.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** A table of plug-ins read from one of the current machine's files, which it
    re-reads every 500 ms, so that it fills while a scan runs and shows a new
    result without being told. Sortable by every column; a double-click opens
    the plug-in's page (or a web search for it) in the browser. The Installed
    and Updates tables are this table with their own file and columns.
*/
class PluginTableList : public juce::Component,
                        public juce::TableListBoxModel,
                        private juce::Timer
{
public:
    /** Everything in the context must outlive the table. */
    PluginTableList (const AppContext& context, TableRules::TableDefinition definition,
                     const juce::String& name);
    ~PluginTableList() override;

    int getNumRows() override;
    void paintRowBackground (juce::Graphics&, int rowNumber, int width, int height, bool rowIsSelected) override;
    void paintCell (juce::Graphics&, int rowNumber, int columnId, int width, int height, bool rowIsSelected) override;
    juce::Component* refreshComponentForCell (int rowNumber, int columnId, bool isRowSelected,
                                              juce::Component* existingComponentToUpdate) override;
    void cellDoubleClicked (int rowNumber, int columnId, const juce::MouseEvent&) override;
    void sortOrderChanged (int newSortColumnId, bool isForwards) override;
    int getColumnAutoSizeWidth (int columnId) override;
    juce::String getCellTooltip (int rowNumber, int columnId) override;

    /** The reload: re-reads the file when it changed, re-sorts, updates the table. */
    void timerCallback() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Brings the rows in line with the current machine's file. */
    void loadData();

    juce::TableListBox& getTable() noexcept   { return table; }

    static constexpr int reloadIntervalMs = 500;
    static constexpr const char* tooltip = "Double click a plugin to find updates.";

private:
    void showChanges();

    const AppContext context;
    const TableRules::TableDefinition definition;
    TableData data;
    juce::TableListBox table;
    const juce::Font font;
    bool contentChanged = true;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginTableList)
};
