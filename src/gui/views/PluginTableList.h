#pragma once

#include "core/context/AppContext.h"
#include "core/tables/RowFilter.h"
#include "core/tables/TableReloader.h"
#include "core/tables/TableRules.h"
#include "core/updates/IgnoredUpdates.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <optional>

/** A table of plug-ins read from one of the current machine's files, which it
    re-reads every 500 ms, so that it fills while a scan runs and shows a new
    result without being told. Sortable by every column; a double-click (or
    Return) opens the plug-in's page (or a web search for it) in the browser,
    a right-click (or the menu key) offers what else can be done with the row.
    The Installed, Updates and Not Recognised tables are this table with their
    own file and columns; the comparison of two machines is this table with
    rows it is given.

    Above the rows a filter field keeps the rows whose name or vendor holds
    its text, with the count of rows shown; below them a line tells what the
    last scan came to. A table without rows says why in its empty area.

    The file is read, parsed and sorted on the table's reload thread
    (TableReloader); the message thread only asks for rows, swaps in the ones
    that are ready and filters them.
*/
class PluginTableList : public juce::Component,
                        public juce::TableListBoxModel,
                        private juce::Timer
{
public:
    /** A table of the current machine's file. Everything in the context must
        outlive the table.
    */
    PluginTableList (const AppContext& context, TableRules::TableDefinition definition,
                     const juce::String& name);

    /** A table of the given rows, which never change (the comparison of two machines). */
    PluginTableList (const AppContext& context, TableRules::TableDefinition definition,
                     const juce::String& name, std::vector<PluginRow> rows);

    ~PluginTableList() override;

    int getNumRows() override;
    void paintRowBackground (juce::Graphics&, int rowNumber, int width, int height, bool rowIsSelected) override;
    void paintCell (juce::Graphics&, int rowNumber, int columnId, int width, int height, bool rowIsSelected) override;
    juce::Component* refreshComponentForCell (int rowNumber, int columnId, bool isRowSelected,
                                              juce::Component* existingComponentToUpdate) override;
    void selectedRowsChanged (int lastRowSelected) override;
    void cellClicked (int rowNumber, int columnId, const juce::MouseEvent&) override;
    void cellDoubleClicked (int rowNumber, int columnId, const juce::MouseEvent&) override;
    void returnKeyPressed (int lastRowSelected) override;
    void sortOrderChanged (int newSortColumnId, bool isForwards) override;
    int getColumnAutoSizeWidth (int columnId) override;
    juce::String getCellTooltip (int rowNumber, int columnId) override;

    /** The reload: asks for the rows of the current file in the header's order. */
    void timerCallback() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    bool keyPressed (const juce::KeyPress& key) override;
    bool keyStateChanged (bool isKeyDown) override;

    /** Asks the reload thread for the current machine's rows in the header's
        order; they are shown when they are ready, if they changed.
    */
    void loadData();

    /** Shows the newest rows the reload thread has ready, if there are any:
        the message thread's whole share of a reload. The thread's callback
        posts a call of this.
    */
    void showReadyRows();

    /** The row shown at this index (after the filter), or nullptr. */
    const PluginRow* getRow (int index) const noexcept;

    /** Opens the row shown at this index, as a double-click does. */
    void openRow (int index);

    /** Shows the pop-up menu of the row shown at this index (beside the row,
        or at the mouse) and does what the user chooses.
    */
    void showRowMenu (int index, bool besideRow = true);

    /** Puts the text into the filter field and filters the rows at once, as
        typing does once the field has told of the change.
    */
    void setFilterText (const juce::String& text);

    /** Whether the row shown at this index is an update the user set aside. */
    bool isIgnored (int index) const;

    /** Rows in the file, and rows left after the filter and the ignored updates. */
    int getNumRowsInFile() const noexcept                   { return (int) shown->rows.size(); }
    int getNumShownRows() const noexcept                    { return (int) visible.size(); }

    juce::String getEmptyReason() const                      { return emptyReason.getText(); }
    juce::String getStatusLine() const                       { return statusLine.getText(); }
    juce::String getCountText() const                        { return countLabel.getText(); }

    juce::TableListBox& getTable() noexcept                  { return table; }
    juce::TextEditor& getFilterField() noexcept              { return filterField; }
    juce::ToggleButton& getShowIgnoredToggle() noexcept      { return showIgnored; }

    static constexpr int reloadIntervalMs = 500;
    static constexpr const char* tooltip = "Double click a plugin to find updates.";

private:
    void setUp();
    void applyFilter();
    void reselect (const PluginRow& row);
    void updateNotes();
    void loadIgnored();
    void perform (int menuId, const PluginRow& row);
    void setIgnored (bool (IgnoredUpdates::*change) (const PluginRow&), const PluginRow& row);
    bool isIgnored (const PluginRow& row) const;

    const AppContext context;
    const TableRules::TableDefinition definition;
    juce::TableListBox table;
    const juce::Font font;
    std::shared_ptr<const TableRows> shown;
    bool rowsRead = false;                  // the files behind the table have been read at least once
    std::vector<int> visible;               // indices into shown->rows
    std::optional<PluginRow> selectedRow;   // what the selection stands for, kept across new rows
    std::unique_ptr<TableReloader> reloader;   // nullptr for given rows
    std::unique_ptr<IgnoredUpdates> ignored;   // the update list's only

    juce::TextEditor filterField { "filter" };
    juce::Label countLabel { "filterCount" };
    juce::ToggleButton showIgnored { "Show Ignored" };
    juce::Label emptyReason { "emptyReason" };
    juce::Label statusLine { "statusLine" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginTableList)
};
