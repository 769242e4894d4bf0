#pragma once

#include <juce_core/juce_core.h>

#include <optional>
#include <utility>
#include <vector>

/** What a scan learnt beyond the inventory, kept in "<machine>_ScanDetails.xml"
    beside it: each kept plug-in with its version as the file states it, each
    file turned away and why, and how the check for updates ended.

    The file's root is "CobaltlineScanDetails" with UpdateCheck,
    ServiceMessage and Updates; a "Plugin" child (Path, Name, Vendor, Format, StatedVersion)
    follows for each kept plug-in in the order the walk met it, then a
    "NotRecognised" child (Path, Format, StatedVersion, Reason) for each file
    turned away, its Reason being describe()'s text.

    A plain value: any thread, one at a time.
*/
struct ScanDetails
{
    enum class UpdateCheck
    {
        pending,      // the walk is running, or the scan ended before its upload
        checked,      // the service answered with an update list
        notChecked,   // the service could not be reached: nothing was sent
        noReply,      // the inventory went out, but no update list came back
        refused,      // the service answered with "Errors" (serviceMessage says what)
        cleared       // the results were purged at start-up as too old
    };

    enum class Reason
    {
        noVersionResource,      // the file has no version resource
        noCompleteStringTable,  // no table gave a ProductVersion
        noVersionNumber,        // the stated version holds no "." once cleaned
        noBinaryInBundle        // a bundle without its plug-in binary
    };

    struct Kept
    {
        juce::String path, name, vendor, format, statedVersion;
    };

    struct Rejected
    {
        juce::String path, format, statedVersion;
        Reason reason = Reason::noVersionNumber;
    };

    UpdateCheck updateCheck = UpdateCheck::pending;
    juce::String serviceMessage;   // refused: the service's title and text, "Title: Text"
    int updates = 0;               // checked: the rows of the update list the service sent
    std::vector<Kept> kept;
    std::vector<Rejected> rejected;

    /** The words the Not Recognised tab shows for a reason. */
    static juce::String describe (Reason reason);

    std::unique_ptr<juce::XmlElement> toXml() const;

    /** Reads an element of the file's form whatever its tag; an unknown
        UpdateCheck reads as pending, an unknown Reason as noVersionNumber.
    */
    static ScanDetails fromXml (const juce::XmlElement& root);

    /** The file's details; nullopt when it is missing, not a regular file,
        larger than TableData::maxFileBytes, does not parse or has another root.
    */
    static std::optional<ScanDetails> read (const juce::File& file);

    /** Replaces the file whole (SettingsStore::writeDocument); false on failure. */
    bool writeTo (const juce::File& file) const;

    /** The first kept plug-in listed by that path (exactly), or nullptr. The
        lookup goes through an index of the paths, made on the first call and
        made again once kept has changed its size or storage, or a hit no
        longer matches; so one object must not be searched from two threads
        at once.
    */
    const Kept* findKept (const juce::String& path) const;

    /** The details file that goes with an inventory file: "X_PluginList.xml"
        gives "X_ScanDetails.xml" in the same folder. juce::File() gives juce::File().
    */
    static juce::File fileBeside (const juce::File& inventoryFile);

    static constexpr const char* rootTag = "CobaltlineScanDetails";

private:
    mutable std::vector<std::pair<juce::String, size_t>> keptIndex;   // sorted by path
    mutable const Kept* indexedData = nullptr;
    mutable size_t indexedSize = 0;
};
