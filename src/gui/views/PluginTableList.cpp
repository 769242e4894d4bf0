#include "gui/views/PluginTableList.h"

#include "core/tables/RowActions.h"
#include "core/tables/TableNotes.h"
#include "gui/look/Palette.h"

namespace
{
    // The menu key (between the right Windows key and Ctrl), which JUCE
    // reports only as a change of key state. It is one of the keys JUCE marks
    // as extended, as it does the function keys.
    const int extendedKeyModifier = juce::KeyPress::F1Key & ~0xff;
   #if JUCE_WINDOWS
    const int menuKeyCode = 0x5d | extendedKeyModifier;   // VK_APPS
   #else
    const int menuKeyCode = 0x67 | extendedKeyModifier;   // XK_Menu
   #endif

    constexpr int filterRowHeight = 32;
}

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

    if (definition.kind == PluginListKind::updateList)
    {
        ignored = std::make_unique<IgnoredUpdates> (IgnoredUpdates::fileIn (context.settings.getDataFolder()));
        loadIgnored();
    }

    setUp();

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

PluginTableList::PluginTableList (const AppContext& appContext, TableRules::TableDefinition tableDefinition,
                                  const juce::String& name, std::vector<PluginRow> rows)
    : context (appContext),
      definition (std::move (tableDefinition))
{
    setName (name);

    auto given = std::make_shared<TableRows>();
    given->rows = std::move (rows);
    given->hasData = true;
    shown = std::move (given);
    rowsRead = true;

    setUp();
    statusLine.setVisible (false);
    sortOrderChanged (1, true);
}

PluginTableList::~PluginTableList()
{
    stopTimer();
    reloader = nullptr;   // waits for a reload under way; no rows arrive after this
    table.setModel (nullptr);
}

void PluginTableList::setUp()
{
    addAndMakeVisible (table);
    table.setModel (this);
    table.getHeader().setPopupMenuActive (true);   // with its auto-size entries
    table.setWantsKeyboardFocus (true);
    setSize (600, 400);

    for (const auto& column : definition.columns)
        table.getHeader().addColumn (column.header, column.id, column.width);

    table.getHeader().setSortColumnId (1, true);
    table.setTooltip (tooltip);

    addAndMakeVisible (filterField);
    filterField.setTextToShowWhenEmpty ("Filter by name or vendor", Palette::tableText.withAlpha (0.45f));
    filterField.setTooltip ("Shows the plug-ins whose name or vendor holds this text");
    filterField.setEscapeAndReturnKeysConsumed (false);
    filterField.onTextChange = [this] { setFilterText (filterField.getText()); };
    filterField.onEscapeKey = [this] { filterField.clear(); applyFilter(); };
    filterField.onReturnKey = [this]
    {
        // On to the rows, as a user of the keyboard expects.
        if (! visible.empty() && table.getSelectedRow() < 0)
            table.selectRow (0);

        table.grabKeyboardFocus();
    };

    addAndMakeVisible (countLabel);
    countLabel.setColour (juce::Label::textColourId, Palette::tableText.withAlpha (0.7f));
    countLabel.setFont (juce::Font (13.0f));

    addChildComponent (showIgnored);
    showIgnored.setVisible (ignored != nullptr);
    showIgnored.setTooltip ("Shows the updates you chose to ignore, greyed");
    showIgnored.setColour (juce::ToggleButton::textColourId, Palette::tableText);
    showIgnored.onClick = [this] { applyFilter(); };

    // Over the rows' area, and in front of it; it takes no clicks.
    addChildComponent (emptyReason);
    emptyReason.setInterceptsMouseClicks (false, false);
    emptyReason.setJustificationType (juce::Justification::centredTop);
    emptyReason.setColour (juce::Label::textColourId, Palette::tableText.withAlpha (0.75f));
    emptyReason.setFont (juce::Font (15.0f));
    emptyReason.setMinimumHorizontalScale (1.0f);

    addAndMakeVisible (statusLine);
    statusLine.setColour (juce::Label::textColourId, Palette::tableText.withAlpha (0.8f));
    statusLine.setFont (juce::Font (13.0f));

    // Tab goes from the bar above to the filter, "Show Ignored" and the rows.
    filterField.setExplicitFocusOrder (1);
    showIgnored.setExplicitFocusOrder (2);
    table.setExplicitFocusOrder (3);

    applyFilter();
}

void PluginTableList::loadData()
{
    if (reloader == nullptr)
        return;

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
    rowsRead = true;
    reloader->dispose (std::move (rows));
    applyFilter();
}

void PluginTableList::setFilterText (const juce::String& text)
{
    filterField.setText (text, false);
    table.deselectAllRows();
    applyFilter();
}

void PluginTableList::loadIgnored()
{
    if (ignored == nullptr)
        return;

    if (ignored->load() == IgnoredUpdates::Load::damaged)
    {
        const SafePointer<PluginTableList> self (this);
        const auto keptAs = ignored->getDamagedCopy();

        // Told once the window is up, not in the middle of building it.
        juce::MessageManager::callAsync ([self, keptAs]
        {
            if (auto* list = self.getComponent())
                list->context.desktop.showAlert (IgnoredUpdates::makeDamagedAlert (keptAs));
        });
    }
}

void PluginTableList::reselect (const PluginRow& row)
{
    const auto sameRow = [&row] (const PluginRow& other)
    {
        return other.name == row.name && other.vendor == row.vendor && other.format == row.format
            && other.path == row.path && other.installedVersion == row.installedVersion
            && other.latestVersion == row.latestVersion;
    };

    for (int i = 0; i < (int) visible.size(); ++i)
    {
        if (sameRow (shown->rows[(size_t) visible[(size_t) i]]))
        {
            if (table.getSelectedRow() != i)
                table.selectRow (i, true, true);

            return;
        }
    }

    table.deselectAllRows();
}

bool PluginTableList::isIgnored (const PluginRow& row) const
{
    return ignored != nullptr && ignored->isIgnored (row);
}

bool PluginTableList::isIgnored (int index) const
{
    const auto* row = getRow (index);
    return row != nullptr && isIgnored (*row);
}

void PluginTableList::applyFilter()
{
    // The selection stays with its plug-in when the rows are replaced or re-sorted.
    const auto selected = selectedRow;

    RowFilter::IsIgnored isRowIgnored;

    if (ignored != nullptr)
        isRowIgnored = [this] (const PluginRow& row) { return ignored->isIgnored (row); };

    visible = RowFilter (filterField.getText(), std::move (isRowIgnored), showIgnored.getToggleState())
                  .apply (shown->rows);

    table.updateContent();

    if (selected.has_value())
        reselect (*selected);

    table.repaint();
    updateNotes();
}

void PluginTableList::updateNotes()
{
    const auto total = (int) shown->rows.size();
    countLabel.setText (total > 0 || filterField.getText().isNotEmpty() ? RowFilter::countText ((int) visible.size(), total)
                                                                        : juce::String(),
                        juce::dontSendNotification);

    TableNotes::Facts facts;
    facts.kind = definition.kind;
    facts.fileHasData = shown->hasData;
    facts.refusal = shown->refusal;
    facts.totalRows = total;
    facts.shownRows = (int) visible.size();
    facts.filterText = filterField.getText().trim();

    if (shown->details != nullptr)
    {
        facts.lastScan = shown->details->updateCheck;
        facts.serviceMessage = shown->details->serviceMessage;
    }

    // Until its files are first read (a large list takes a moment), the
    // table does not know why it is empty, and says nothing.
    const auto reason = rowsRead ? TableNotes::whyEmpty (facts) : juce::String();
    emptyReason.setText (reason, juce::dontSendNotification);
    emptyReason.setVisible (reason.isNotEmpty());

    statusLine.setText (shown->details != nullptr ? TableNotes::lastScanLine (*shown->details) : juce::String(),
                        juce::dontSendNotification);
}

const PluginRow* PluginTableList::getRow (int index) const noexcept
{
    if (! juce::isPositiveAndBelow (index, (int) visible.size()))
        return nullptr;

    return &shown->rows[(size_t) visible[(size_t) index]];
}

int PluginTableList::getNumRows()
{
    return (int) visible.size();
}

void PluginTableList::paintRowBackground (juce::Graphics& g, int, int, int, bool rowIsSelected)
{
    if (rowIsSelected)
        g.fillAll (Palette::selectedRow);
}

void PluginTableList::paintCell (juce::Graphics& g, int rowNumber, int columnId, int width, int height, bool)
{
    const auto* row = getRow (rowNumber);
    const auto* column = definition.findColumn (columnId);

    if (row != nullptr && column != nullptr)
    {
        // An update set aside is shown greyed.
        g.setColour (isIgnored (*row) ? Palette::tableText.withAlpha (0.4f) : Palette::tableText);
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

void PluginTableList::selectedRowsChanged (int lastRowSelected)
{
    if (const auto* row = getRow (lastRowSelected))
        selectedRow = *row;
    else
        selectedRow.reset();
}

void PluginTableList::cellClicked (int rowNumber, int, const juce::MouseEvent& event)
{
    if (! event.mods.isPopupMenu())
        return;

    table.selectRow (rowNumber);
    showRowMenu (rowNumber, false);
}

void PluginTableList::cellDoubleClicked (int rowNumber, int, const juce::MouseEvent&)
{
    openRow (rowNumber);
}

void PluginTableList::returnKeyPressed (int lastRowSelected)
{
    openRow (lastRowSelected);
}

void PluginTableList::openRow (int index)
{
    const auto* row = getRow (index);

    if (row == nullptr)
        return;

    if (definition.kind == PluginListKind::notRecognised)
    {
        if (const auto folder = RowActions::folderOf (*row); ! folder.isEmpty())
            context.desktop.openUrl (folder);

        return;
    }

    context.desktop.openUrl (TableRules::pageFor (*row));
}

void PluginTableList::showRowMenu (int index, bool besideRow)
{
    const auto* shownRow = getRow (index);

    if (shownRow == nullptr)
        return;

    // A copy: the rows may be replaced while the menu is up.
    const auto row = *shownRow;
    const SafePointer<PluginTableList> self (this);

    // From the keyboard, beside the row; from the mouse, where it was clicked.
    ScreenArea area;

    if (besideRow)
    {
        const auto rowArea = table.localAreaToGlobal (table.getRowPosition (index, true));
        area = { rowArea.getX(), rowArea.getY(), rowArea.getWidth(), rowArea.getHeight() };
    }

    const auto chosen = context.desktop.showMenu (RowActions::menuFor (definition.kind, row, isIgnored (row)), area);

    if (self != nullptr && chosen != 0)
        perform (chosen, row);
}

void PluginTableList::perform (int menuId, const PluginRow& row)
{
    switch (menuId)
    {
        case RowActions::ignoreThisVersion:   setIgnored (&IgnoredUpdates::ignoreVersion, row); break;
        case RowActions::ignoreAllUpdates:    setIgnored (&IgnoredUpdates::ignoreAll, row); break;
        case RowActions::stopIgnoring:        setIgnored (&IgnoredUpdates::stopIgnoring, row); break;
        case RowActions::openWebsite:         context.desktop.openUrl (TableRules::pageFor (row)); break;
        case RowActions::copyNameAndVersion:  context.desktop.copyToClipboard (RowActions::nameAndVersion (row, definition.kind)); break;

        case RowActions::showInFolder:
            if (const auto folder = RowActions::folderOf (row); ! folder.isEmpty())
                context.desktop.openUrl (folder);
            break;

        default:
            break;
    }
}

void PluginTableList::setIgnored (bool (IgnoredUpdates::*change) (const PluginRow&), const PluginRow& row)
{
    if (ignored == nullptr)
        return;

    if (! (ignored.get()->*change) (row))
        context.desktop.showAlert (IgnoredUpdates::makeNotSavedAlert (IgnoredUpdates::fileIn (context.settings.getDataFolder())));

    applyFilter();
}

void PluginTableList::sortOrderChanged (int newSortColumnId, bool isForwards)
{
    if (reloader != nullptr)
    {
        // A copy is sorted on the reload thread; the rows keep their order until it is ready.
        reloader->requestRows (newSortColumnId, isForwards);
        return;
    }

    // Given rows are few and sorted here.
    if (const auto* column = definition.findColumn (newSortColumnId))
    {
        auto sorted = std::make_shared<TableRows> (*shown);
        std::stable_sort (sorted->rows.begin(), sorted->rows.end(), TableRules::RowComparator (column->field, isForwards));
        shown = std::move (sorted);
        applyFilter();
    }
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

juce::String PluginTableList::getCellTooltip (int rowNumber, int)
{
    if (const auto* row = getRow (rowNumber))
        return RowActions::tooltipFor (*row, definition.kind, shown->details.get());

    return tooltip;
}

bool PluginTableList::keyPressed (const juce::KeyPress& key)
{
    if (key == juce::KeyPress (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier, 0))
    {
        showRowMenu (table.getSelectedRow(), true);
        return true;
    }

    return false;
}

bool PluginTableList::keyStateChanged (bool isKeyDown)
{
    if (isKeyDown && table.hasKeyboardFocus (true) && juce::KeyPress::isKeyCurrentlyDown (menuKeyCode))
    {
        showRowMenu (table.getSelectedRow(), true);
        return true;
    }

    return false;
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
    // The filter above the rows, the last scan's line below them, inside the panel.
    filterField.setBounds (8, 4, 260, 24);
    countLabel.setBounds (274, 4, 140, 24);
    showIgnored.setBounds (getWidth() - 140, 4, 130, 24);

    table.setBounds (1, filterRowHeight, getWidth() - 2, getHeight() - 90 - filterRowHeight);
    emptyReason.setBounds (table.getBounds().withTrimmedTop (table.getHeaderHeight() + 24).reduced (24, 0));
    statusLine.setBounds (8, table.getBottom() + 1, getWidth() - 16, 20);
}
