#pragma once

#include "core/settings/SettingsStore.h"
#include "core/tables/TableRules.h"

#include <filesystem>
#include <vector>

/** The rows of one table, kept in step with the current machine's file.

    reload() works out the file from the profile each time (so a new machine
    name switches files at once) and parses it only when it may have changed:
    another file, or the same one with another identity, size or modification
    time. The scan replaces its files whole, so each change shows as a new
    file. Rows are those of PluginRow::allFrom, in the order of the last sort.

    One thread at a time (a table's reload thread); it reads files and may
    take a while.
*/
class TableData
{
public:
    /** Files larger than this are not read (the table shows no rows). */
    static constexpr juce::int64 maxFileBytes = 128 * 1024 * 1024;

    TableData (const SettingsStore& settings, const juce::String& fileSuffix, PluginListKind kind);

    /** Brings the rows in line with the file; true when they changed. */
    bool reload();

    /** Sorts the rows by one of their texts (TableRules::RowComparator),
        keeping the order of equal rows. Nothing is done, and false returned,
        when the rows and the order are the same as at the last sort.
    */
    bool sort (TableRules::RowField field, bool forwards);

    int getNumRows() const noexcept                         { return (int) rows.size(); }

    /** True when the last reload found a non-empty file that parsed (its root
        may have no rows, as an "Errors" reply).
    */
    bool hasData() const noexcept                           { return parsed; }

    /** The row at this index, or nullptr outside the rows. */
    const PluginRow* getRow (int index) const noexcept;

    const std::vector<PluginRow>& getRows() const noexcept  { return rows; }

    /** The file of the last reload. */
    const juce::File& getFile() const noexcept              { return file; }

    /** The refusal the update list holds instead of rows (an "Errors" reply):
        its title and text, "" otherwise.
    */
    const juce::String& getRefusal() const noexcept          { return refusal; }

    /** What tells a file's versions apart: a file replaced whole shows as another state. */
    struct FileState
    {
        juce::File file;
        bool exists = false;
        juce::uint64 identity = 0;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified {};

        bool operator== (const FileState& other) const;
        bool operator!= (const FileState& other) const   { return ! operator== (other); }
        bool isEmpty() const noexcept   { return ! exists || size == 0; }
    };

    static FileState stateOf (const juce::File& file);

private:

    const SettingsStore& settings;
    const juce::String suffix;
    const PluginListKind kind;
    juce::File file;
    std::vector<PluginRow> rows;
    bool parsed = false;
    juce::String refusal;
    FileState loaded;
    bool loadedOnce = false;

    // What the rows were last sorted by, and whether they changed since.
    TableRules::RowField sortedBy = nullptr;
    bool sortedForwards = true;
    bool rowsSorted = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TableData)
};
