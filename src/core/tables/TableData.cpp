#include "core/tables/TableData.h"

#include "core/tables/TableRules.h"
#include "core/xml/SafeXml.h"

bool TableData::FileState::operator== (const FileState& other) const
{
    return file == other.file && exists == other.exists && identity == other.identity
        && size == other.size && modified == other.modified;
}

TableData::TableData (const SettingsStore& settingsStore, const juce::String& fileSuffix)
    : settings (settingsStore), suffix (fileSuffix)
{
}

TableData::FileState TableData::stateOf (const juce::File& f)
{
    FileState state;
    state.file = f;

    // From UTF-8 explicitly: a narrow string would be read in the system's code page on Windows.
    const auto path = std::filesystem::u8path (f.getFullPathName().toRawUTF8());
    std::error_code typeError, sizeError, timeError;

    if (! std::filesystem::is_regular_file (path, typeError))
        return state;

    // Nanoseconds where the file system has them; JUCE's own times have whole seconds.
    state.size = std::filesystem::file_size (path, sizeError);
    state.modified = std::filesystem::last_write_time (path, timeError);
    state.identity = f.getFileIdentifier();
    state.exists = ! (typeError || sizeError || timeError);
    return state;
}

bool TableData::reload()
{
    file = settings.getMachineFile (suffix);
    const auto state = stateOf (file);

    if (loadedOnce && state == loaded)
        return false;

    const auto hadRows = ! rows.empty();
    loaded = state;
    loadedOnce = true;
    rowsSorted = false;

    if (state.isEmpty())
    {
        rows.clear();
        return hadRows;
    }

    data = SafeXml::parseFile (file, maxFileBytes);
    collectRows();
    return true;
}

void TableData::collectRows()
{
    rows.clear();

    if (data != nullptr)
        for (auto* child : data->getChildIterator())
            rows.push_back (child);
}

bool TableData::sort (const juce::Identifier& attribute, bool forwards)
{
    if (data == nullptr || rows.empty())
        return false;

    if (rowsSorted && attribute == sortedBy && forwards == sortedForwards)
        return false;

    TableRules::RowComparator comparator (attribute, forwards);
    data->sortChildElements (comparator);
    collectRows();

    sortedBy = attribute;
    sortedForwards = forwards;
    rowsSorted = true;
    return true;
}

const juce::XmlElement* TableData::getRow (int index) const noexcept
{
    return juce::isPositiveAndBelow (index, (int) rows.size()) ? rows[(size_t) index] : nullptr;
}
