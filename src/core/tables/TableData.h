#pragma once

#include "core/settings/SettingsStore.h"

#include <filesystem>
#include <vector>

/** The rows of one table, kept in step with the current machine's file.

    reload() works out the file from the profile each time (so a new machine
    name switches files at once) and parses it only when it may have changed:
    another file, or the same one with another identity, size or modification
    time. The scan replaces its files whole, so each change shows as a new
    file. Rows are the root's child elements, in the order of the last sort.

    Message thread only (it belongs to a table).
*/
class TableData
{
public:
    /** Files larger than this are not read (the table shows no rows). */
    static constexpr juce::int64 maxFileBytes = 128 * 1024 * 1024;

    TableData (const SettingsStore& settings, const juce::String& fileSuffix);

    /** Brings the rows in line with the file; true when they changed. */
    bool reload();

    /** Sorts the rows by an attribute (TableRules::RowComparator). Nothing is
        done, and false returned, when the rows and the order are the same as
        at the last sort.
    */
    bool sort (const juce::Identifier& attribute, bool forwards);

    int getNumRows() const noexcept                 { return (int) rows.size(); }

    /** True when the last reload found a non-empty file that parsed (its root
        may have no rows, as an "Errors" reply).
    */
    bool hasData() const noexcept                   { return ! loaded.isEmpty() && data != nullptr; }

    /** The row's element, or nullptr outside the rows. */
    const juce::XmlElement* getRow (int index) const noexcept;

    /** The file of the last reload. */
    const juce::File& getFile() const noexcept      { return file; }

private:
    struct FileState
    {
        juce::File file;
        bool exists = false;
        juce::uint64 identity = 0;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified {};

        bool operator== (const FileState& other) const;
        bool isEmpty() const noexcept   { return ! exists || size == 0; }
    };

    static FileState stateOf (const juce::File& file);
    void collectRows();

    const SettingsStore& settings;
    const juce::String suffix;
    juce::File file;
    std::unique_ptr<juce::XmlElement> data;
    std::vector<const juce::XmlElement*> rows;
    FileState loaded;
    bool loadedOnce = false;

    // What the rows were last sorted by, and whether they changed since.
    juce::Identifier sortedBy;
    bool sortedForwards = true;
    bool rowsSorted = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TableData)
};
