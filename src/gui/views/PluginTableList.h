#pragma once

#include "core/context/AppContext.h"
#include "core/tables/TableReloader.h"
#include "core/tables/TableRules.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** A table of plug-ins read from one of the current machine's files, which it
    re-reads every 500 ms, so that it fills while a scan runs and shows a new
    result without being told. Sortable by every column; a double-click opens
    the plug-in's page (or a web search for it) in the browser. The Installed
    and Updates tables are this table with their own file and columns.

    The file is read, parsed and sorted on the table's reload thread
    (TableReloader); the message thread only asks for rows and swaps in the
    ones that are ready.
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

    /** The reload: asks for the rows of the current file in the header's order. */
    void timerCallback() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Asks the reload thread for the current machine's rows in the header's
        order; they are shown when they are ready, if they changed.
    */
    void loadData();

    /** Shows the newest rows the reload thread has ready, if there are any:
        the message thread's whole share of a reload. The thread's callback
        posts a call of this.
    */
    void showReadyRows();

    /** The row shown at this index, or nullptr. */
    const PluginRow* getRow (int index) const noexcept;

    juce::TableListBox& getTable() noexcept   { return table; }

    static constexpr int reloadIntervalMs = 500;
    static constexpr const char* tooltip = "Double click a plugin to find updates.";

private:
    const AppContext context;
    const TableRules::TableDefinition definition;
    juce::TableListBox table;
    const juce::Font font;
    std::shared_ptr<const TableRows> shown;
    std::unique_ptr<TableReloader> reloader;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginTableList)
};
