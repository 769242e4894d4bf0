#include "gui/views/PluginTableList.h"

#include "gui/look/Palette.h"

PluginTableList::PluginTableList (const AppContext& appContext, TableRules::TableDefinition tableDefinition,
                                  const juce::String& name)
    : context (appContext),
      definition (std::move (tableDefinition)),
      data (appContext.settings, definition.fileSuffix)
{
    setName (name);
    loadData();

    addAndMakeVisible (table);
    table.setModel (this);
    table.getHeader().setPopupMenuActive (true);   // with its auto-size entries
    setSize (600, 400);

    // On the default look-and-feel, so that every list of the program has them.
    auto& defaults = juce::LookAndFeel::getDefaultLookAndFeel();
    defaults.setColour (juce::ListBox::backgroundColourId, Palette::listBackground);
    defaults.setColour (juce::ListBox::outlineColourId, Palette::listOutline);
    defaults.setColour (juce::ListBox::textColourId, Palette::listText);

    for (const auto& column : definition.columns)
        table.getHeader().addColumn (column.header, column.id, column.width);

    table.getHeader().setSortColumnId (1, true);
    table.setTooltip (tooltip);

    startTimer (reloadIntervalMs);
}

PluginTableList::~PluginTableList()
{
    stopTimer();
    table.setModel (nullptr);
}

void PluginTableList::loadData()
{
    if (data.reload())
        contentChanged = true;
}

void PluginTableList::timerCallback()
{
    loadData();

    // Re-sorted at once by the header's order (rather than through the
    // header's asynchronous re-sort), so a new file is never shown unsorted.
    auto& header = table.getHeader();
    sortOrderChanged (header.getSortColumnId(), header.isSortedForwards());
}

void PluginTableList::showChanges()
{
    // Only what changed is shown again: an idle table costs a look at its file.
    if (! contentChanged)
        return;

    contentChanged = false;
    table.updateContent();
    table.repaint();
}

int PluginTableList::getNumRows()
{
    return data.getNumRows();
}

void PluginTableList::paintRowBackground (juce::Graphics& g, int, int, int, bool rowIsSelected)
{
    if (rowIsSelected)
        g.fillAll (Palette::selectedRow);
}

void PluginTableList::paintCell (juce::Graphics& g, int rowNumber, int columnId, int width, int height, bool)
{
    g.setColour (Palette::tableText);

    const auto* row = data.getRow (rowNumber);
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
    if (const auto* row = data.getRow (rowNumber))
        context.desktop.openUrl (TableRules::pageFor (*row));
}

void PluginTableList::sortOrderChanged (int newSortColumnId, bool isForwards)
{
    if (const auto* column = definition.findColumn (newSortColumnId))
        if (data.sort (column->attribute, isForwards))
            contentChanged = true;

    showChanges();
}

int PluginTableList::getColumnAutoSizeWidth (int columnId)
{
    const auto* column = definition.findColumn (columnId);

    if (column == nullptr)
        return 40;

    if (! data.hasData())
        return 0;   // the header keeps the column's width

    auto widest = 32;

    for (int i = 0; i < data.getNumRows(); ++i)
    {
        // The text as stored, also where the column shows a shortened version.
        const auto text = TableRules::visibleText (data.getRow (i)->getStringAttribute (column->attribute));
        widest = juce::jmax (widest, juce::roundToInt (font.getStringWidthFloat (text)));
    }

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
