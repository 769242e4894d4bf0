#pragma once

#include "core/tables/ScanDetails.h"
#include "core/tables/TableData.h"

#include <functional>
#include <memory>
#include <mutex>

/** What a table shows at one moment: the rows of its file in their sorted
    order. Never changed once made, so the reload thread and the table can
    share it.
*/
struct TableRows
{
    std::vector<PluginRow> rows;
    bool hasData = false;   ///< as TableData::hasData: a non-empty file that parsed
    juce::File file;        ///< the file the rows came from
    juce::String refusal;   ///< as TableData::getRefusal
    std::shared_ptr<const ScanDetails> details;   ///< the last scan's details; nullptr when there are none
};

/** Keeps one table's rows in step with its file on a thread of its own, so
    that reading, parsing and sorting never hold up the caller.

    Each request reloads the file (TableData: parsed again only when it may
    have changed) and sorts the rows by a column of the table. When that gives
    other rows, or another order, and always for the first request, they are
    made ready for takeRows() and rowsReady is called. Requests made while one is under way are merged: the
    thread then works once more, with the order asked for last.
*/
class TableReloader final : private juce::Thread
{
public:
    /** rowsReady is called on the reload thread, never after the destructor
        has returned; it must not block. The settings must outlive this.
    */
    TableReloader (const SettingsStore& settings, TableRules::TableDefinition definition,
                   std::function<void()> rowsReady);

    /** Waits for a reload under way to end (the rows it makes are dropped). */
    ~TableReloader() override;

    /** Any thread: asks for the current file's rows, sorted by the column
        with this id (a column the table does not have leaves their order).
    */
    void requestRows (int sortColumnId, bool forwards);

    /** Any thread: the newest rows made since the last call, or nullptr. */
    std::shared_ptr<const TableRows> takeRows();

    /** Any thread: rows that are shown no more, freed later on the reload
        thread instead of on the caller's (thousands of strings).
    */
    void dispose (std::shared_ptr<const TableRows> rows);

private:
    void run() override;

    struct Request
    {
        int sortColumnId = 0;
        bool forwards = true;
    };

    bool reloadDetails();

    const SettingsStore& settings;
    const TableRules::TableDefinition definition;
    const std::function<void()> rowsReady;
    TableData data;   // the reload thread's alone, as are the details
    TableData::FileState detailsState;
    bool detailsLoaded = false;
    bool rowsMadeOnce = false;
    std::shared_ptr<const ScanDetails> details;

    std::mutex lock;  // guards what follows
    bool requested = false;
    Request next;
    std::shared_ptr<const TableRows> ready;
    std::vector<std::shared_ptr<const TableRows>> disposed;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TableReloader)
};
