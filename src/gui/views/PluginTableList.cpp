#include "gui/views/PluginTableList.h"

#include "gui/look/Palette.h"

PluginTableList::PluginTableList (const AppContext& appContext, TableRules::TableDefinition tableDefinition,
                                  const juce::String& name)
    : context (appContext),
      definition (std::move (tableDefinition)),
      shown (std::make_shared<const TableRows>())
{
    setName (name);

    // Made here, on the message thread; the reload thread only copies it.
    const SafePointer<PluginTableList> self (this);

    // Before the header, whose sort order is sent to it.
    reloader = std::make_unique<TableReloader> (context.settings, definition, [self]
    {
        juce::MessageManager::callAsync ([self]
        {
            if (auto* list = self.getComponent())
                list->showReadyRows();
        });
    });

    addAndMakeVisible (table);
    table.setModel (this);
    table.getHeader().setPopupMenuActive (true);   // with its auto-size entries
    setSize (600, 400);

    for (const auto& column : definition.columns)
        table.getHeader().addColumn (column.header, column.id, column.width);

    table.getHeader().setSortColumnId (1, true);
    table.setTooltip (tooltip);

    // The first reading waits for the message loop: whoever builds the table
    // may still be working on its files (the main window deletes stale ones
    // after building its tabs), and on Windows a file held open for reading
    // cannot be deleted.
    juce::MessageManager::callAsync ([self]
    {
        if (auto* list = self.getComponent())
            list->loadData();
    });

    startTimer (reloadIntervalMs);
}

PluginTableList::~PluginTableList()
{
    stopTimer();
    reloader = nullptr;   // waits for a reload under way; no rows arrive after this
    table.setModel (nullptr);
}

void PluginTableList::loadData()
{
    const auto& header = table.getHeader();
    reloader->requestRows (header.getSortColumnId(), header.isSortedForwards());
}

void PluginTableList::timerCallback()
{
    // Sorted by the header's order on the reload thread (rather than through
    // the header's asynchronous re-sort), so a new file is never shown unsorted.
    loadData();
}

void PluginTableList::showReadyRows()
{
    auto rows = reloader->takeRows();

    if (rows == nullptr)
        return;

    std::swap (shown, rows);
    reloader->dispose (std::move (rows));
    table.updateContent();
    table.repaint();
}

const PluginRow* PluginTableList::getRow (int index) const noexcept
{
    return juce::isPositiveAndBelow (index, (int) shown->rows.size()) ? &shown->rows[(size_t) index] : nullptr;
}

int PluginTableList::getNumRows()
{
    return (int) shown->rows.size();
}

void PluginTableList::paintRowBackground (juce::Graphics& g, int, int, int, bool rowIsSelected)
{
    if (rowIsSelected)
        g.fillAll (Palette::selectedRow);
}

void PluginTableList::paintCell (juce::Graphics& g, int rowNumber, int columnId, int width, int height, bool)
{
    g.setColour (Palette::tableText);

    const auto* row = getRow (rowNumber);
    const auto* column = definition.findColumn (columnId);

    if (row != nullptr && column != nullptr)
    {
        g.drawText (column->cellText (*row), 2, 0, width - 4, height, juce::Justification::centredLeft, true);
    }

    g.setColour (Palette::tableDivider);
    g.fillRect (width - 1, 0, 1, height);
}

juce::Component* PluginTableList::refreshComponentForCell (int, int, bool, juce::Component* existing)
{
    jassert (existing == nullptr);   // every cell is painted
    juce::ignoreUnused (existing);
    return nullptr;
}

void PluginTableList::cellDoubleClicked (int rowNumber, int, const juce::MouseEvent&)
{
    if (const auto* row = getRow (rowNumber))
        context.desktop.openUrl (TableRules::pageFor (*row));
}

void PluginTableList::sortOrderChanged (int newSortColumnId, bool isForwards)
{
    // A copy is sorted on the reload thread; the rows keep their order until it is ready.
    reloader->requestRows (newSortColumnId, isForwards);
}

int PluginTableList::getColumnAutoSizeWidth (int columnId)
{
    const auto* column = definition.findColumn (columnId);

    if (column == nullptr)
        return 40;

    if (! shown->hasData)
        return 0;   // the header keeps the column's width

    auto widest = 32;

    for (const auto& row : shown->rows)
        widest = juce::jmax (widest, juce::roundToInt (font.getStringWidthFloat (column->sizingText (row))));

    return widest + 8;
}

juce::String PluginTableList::getCellTooltip (int, int)
{
    // The rows cover the table, so the table's tooltip is the rows' too.
    return tooltip;
}

void PluginTableList::paint (juce::Graphics& g)
{
    const auto panel = juce::Rectangle<float> (1.0f, -19.0f, (float) getWidth() - 1.0f, (float) getHeight() - 50.0f);

    g.setColour (Palette::tablePanel);
    g.fillRoundedRectangle (panel, 10.0f);
    g.setColour (Palette::tablePanelOutline);
    g.drawRoundedRectangle (panel, 10.0f, 0.25f);
}

void PluginTableList::resized()
{
    table.setBounds (1, 0, getWidth() - 2, getHeight() - 90);
}
