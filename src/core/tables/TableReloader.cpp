#include "core/tables/TableReloader.h"

#include <utility>

TableReloader::TableReloader (const SettingsStore& settingsStore, TableRules::TableDefinition tableDefinition,
                              std::function<void()> onRowsReady)
    : juce::Thread ("Table reload"),
      settings (settingsStore),
      definition (std::move (tableDefinition)),
      rowsReady (std::move (onRowsReady)),
      data (settingsStore, definition.fileSuffix, definition.kind)
{
    // At normal priority: an idle one would starve beside a busy scan, and the
    // table is to fill while the scan runs.
    startThread();
}

TableReloader::~TableReloader()
{
    // No time-out: a thread that is killed may hold the heap's lock. A parse
    // is bounded by TableData::maxFileBytes and SafeXml's limits.
    stopThread (-1);
}

void TableReloader::requestRows (int sortColumnId, bool forwards)
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        requested = true;
        next = { sortColumnId, forwards };
    }

    notify();
}

std::shared_ptr<const TableRows> TableReloader::takeRows()
{
    const std::lock_guard<std::mutex> guard (lock);
    return std::move (ready);
}

void TableReloader::dispose (std::shared_ptr<const TableRows> rows)
{
    if (rows == nullptr)
        return;

    const std::lock_guard<std::mutex> guard (lock);
    disposed.push_back (std::move (rows));
}

void TableReloader::run()
{
    while (! threadShouldExit())
    {
        Request request;
        auto haveRequest = false;
        std::vector<std::shared_ptr<const TableRows>> toFree;

        {
            const std::lock_guard<std::mutex> guard (lock);
            toFree.swap (disposed);
            request = next;
            haveRequest = std::exchange (requested, false);
        }

        toFree.clear();

        if (! haveRequest)
        {
            // A notify() between the look above and this wait is not lost:
            // it leaves the thread's event signalled.
            wait (-1);
            continue;
        }

        auto changed = data.reload();
        changed = reloadDetails() || changed;

        if (threadShouldExit())
            return;

        if (const auto* column = definition.findColumn (request.sortColumnId))
            changed = data.sort (column->field, request.forwards) || changed;

        // The first reading is always made ready, also of no file at all:
        // until then the table cannot tell an empty list from one not read.
        if (! changed && rowsMadeOnce)
            continue;

        rowsMadeOnce = true;

        auto rows = std::make_shared<TableRows>();
        rows->rows = data.getRows();
        rows->hasData = data.hasData();
        rows->file = data.getFile();
        rows->refusal = data.getRefusal();
        rows->details = details;

        std::shared_ptr<const TableRows> unshown;

        {
            const std::lock_guard<std::mutex> guard (lock);
            unshown = std::exchange (ready, std::move (rows));
        }

        rowsReady();
    }
}

bool TableReloader::reloadDetails()
{
    const auto state = TableData::stateOf (settings.getMachineFile (SettingsStore::scanDetailsSuffix));

    if (detailsLoaded && state == detailsState)
        return false;

    const auto hadDetails = details != nullptr;
    detailsState = state;
    detailsLoaded = true;
    details.reset();

    if (! state.isEmpty())
        if (auto read = ScanDetails::read (state.file))
        {
            // The look-up index is made here, before the details are shared:
            // the message thread then only reads it.
            read->findKept ({});
            details = std::make_shared<const ScanDetails> (std::move (*read));
        }

    return hadDetails || details != nullptr;
}
