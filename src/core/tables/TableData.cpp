#include "core/tables/TableData.h"

#include "core/service/ServiceReply.h"
#include "core/xml/SafeXml.h"

#include <algorithm>

bool TableData::FileState::operator== (const FileState& other) const
{
    return file == other.file && exists == other.exists && identity == other.identity
        && size == other.size && modified == other.modified;
}

TableData::TableData (const SettingsStore& settingsStore, const juce::String& fileSuffix, PluginListKind listKind)
    : settings (settingsStore), suffix (fileSuffix), kind (listKind)
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

    // An "Errors" reply has no rows but counts as data (see hasData).
    const auto hadContent = parsed || ! rows.empty();
    loaded = state;
    loadedOnce = true;
    rowsSorted = false;
    parsed = false;
    refusal.clear();
    rows.clear();

    if (state.isEmpty())
        return hadContent;

    if (const auto document = SafeXml::parseFile (file, maxFileBytes))
    {
        rows = PluginRow::allFrom (*document, kind);
        parsed = true;

        if (kind == PluginListKind::updateList)
            if (const auto reply = classifyReply (document.get()); reply.kind == ReplyKind::errors)
                refusal = (reply.title + ": " + reply.text).trim();
    }

    return true;
}

bool TableData::sort (TableRules::RowField field, bool forwards)
{
    if (field == nullptr || rows.empty())
        return false;

    if (rowsSorted && field == sortedBy && forwards == sortedForwards)
        return false;

    std::stable_sort (rows.begin(), rows.end(), TableRules::RowComparator (field, forwards));

    sortedBy = field;
    sortedForwards = forwards;
    rowsSorted = true;
    return true;
}

const PluginRow* TableData::getRow (int index) const noexcept
{
    return juce::isPositiveAndBelow (index, (int) rows.size()) ? &rows[(size_t) index] : nullptr;
}
