#pragma once

#include "core/platform/DesktopServices.h"
#include "core/tables/PluginRow.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <vector>

/** The updates the user has set aside, kept in "IgnoredUpdates.xml" in the
    data folder: a "CobaltlineIgnoredUpdates" root with an "Ignore" child
    (Name, Vendor, Format, Version) for each plug-in.

    A plug-in is known by its name, vendor and format, compared without regard
    to ASCII letter case, as the update service's catalog compares them; it has
    one entry at most. An entry with a version hides the plug-in's update row
    while the row's latest version is not above it, so a newer release shows
    again; one without a version hides every update of the plug-in.

    Every change replaces the file whole. One thread at a time.
*/
class IgnoredUpdates
{
public:
    struct Entry
    {
        juce::String name, vendor, format;
        juce::String version;   // "" = every update of the plug-in
    };

    enum class Load
    {
        ok,        // the file was read
        missing,   // there is no file: nothing is ignored
        damaged    // the file could not be read: nothing is ignored (see getDamagedCopy())
    };

    explicit IgnoredUpdates (juce::File file);

    /** "IgnoredUpdates.xml" in the data folder. */
    static juce::File fileIn (const juce::File& dataFolder);

    /** Reads the file again. One that is not a regular file, is larger than
        maxFileBytes, does not parse or has another root reads as an empty set
        and is moved to damagedFileName beside it (replacing an older copy), so
        that the user's entries are kept and the next load finds no file. Only
        the first load of such a file says damaged: when it cannot be moved,
        later loads of this object read it as an empty set (ok).
    */
    Load load();

    /** True when the update list's row is hidden by an entry. */
    bool isIgnored (const PluginRow& updateRow) const;

    /** Hides the row's plug-in until a version above the row's latest version
        appears, replacing any entry for the plug-in. False, with the set
        unchanged, when the file could not be written or the row names no
        latest version.
    */
    bool ignoreVersion (const PluginRow& updateRow);

    /** Hides every update of the row's plug-in, replacing any entry for it.
        False, with the set unchanged, when the file could not be written.
    */
    bool ignoreAll (const PluginRow& updateRow);

    /** Removes the entry for the row's plug-in. True when there was none;
        false, with the set unchanged, when the file could not be written.
    */
    bool stopIgnoring (const PluginRow& updateRow);

    const std::vector<Entry>& getEntries() const noexcept   { return entries; }

    /** Where the last load() moved a damaged file, else juce::File(). */
    juce::File getDamagedCopy() const                        { return damagedCopy; }

    /** The notice after load() gave damaged; keptAs is getDamagedCopy(). */
    static AlertRequest makeDamagedAlert (const juce::File& keptAs);

    /** The warning after a change could not be saved to the file. */
    static AlertRequest makeNotSavedAlert (const juce::File& file);

    static constexpr const char* fileName = "IgnoredUpdates.xml";
    static constexpr const char* damagedFileName = "IgnoredUpdates.damaged.xml";
    static constexpr const char* rootTag = "CobaltlineIgnoredUpdates";
    static constexpr juce::int64 maxFileBytes = 1024 * 1024;

    static constexpr const char* damagedTitle = "Ignored Updates Reset";
    static constexpr const char* notSavedTitle = "Ignored Updates Not Saved";

private:
    std::optional<size_t> findEntryFor (const PluginRow& row) const;
    bool replaceEntryFor (const PluginRow& row, std::optional<Entry> replacement);

    const juce::File file;
    std::vector<Entry> entries;
    juce::File damagedCopy;
    bool damageReported = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IgnoredUpdates)
};
