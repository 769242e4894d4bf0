#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** The two files the tables show. They describe plug-ins alike, but name the
    installed version differently, and only the update list has a latest one.
*/
enum class PluginListKind
{
    inventory,    ///< "<machine>_PluginList.xml", written by the scan
    updateList,   ///< "<machine>_CobaltlineList.xml", the service's reply as it came
    notRecognised, ///< the "NotRecognised" rows of "<machine>_ScanDetails.xml": files the scan could not use
    comparison     ///< two machines' plug-ins side by side; no file of its own (read as the inventory)
};

/** One plug-in as a table shows it: a row of the inventory or of the update
    list. A value missing from the file is "". Texts are kept exactly as the
    file has them, control characters included (the tables make those visible).
*/
struct PluginRow
{
    juce::String name;
    juce::String vendor;
    juce::String format;
    juce::String installedVersion;
    juce::String latestVersion;    ///< the update list's newest version; "" in the inventory
    juce::String website;          ///< a page the service gave for the plug-in, untrusted
    juce::String path;
    juce::String error;
    juce::String id;               ///< the service's number of the row, which orders equal rows
    juce::String remark;           ///< what a table says about the row: why a file was not recognised,
                                   ///< or how two machines differ on it

    /** The row one element of a file of this kind describes; the element's tag
        is not looked at. Any thread.
    */
    static PluginRow fromElement (const juce::XmlElement& element, PluginListKind kind);

    /** The element of the inventory file that describes this row: a "Plugin"
        with its name, installed version, vendor, path, format and error, in
        that order (the order JUCE writes them in). Any thread.
    */
    juce::XmlElement toInventoryElement() const;

    /** The rows of a parsed file: one for each child element of the root, in
        document order, whatever the tags (an "Errors" reply without children
        gives none). Text between the elements is not a row. Of the scan
        details (notRecognised) only the "NotRecognised" elements are rows:
        their Path, Format, StatedVersion (as installedVersion) and Reason (as
        remark), named by the path's last part. Any thread.
    */
    static std::vector<PluginRow> allFrom (const juce::XmlElement& root, PluginListKind kind);
};

/** Whether two texts are equal but for the letter case of A-Z; every other
    character must match exactly. Plug-ins are told apart by their name,
    vendor and format compared this way, as the update service's catalog does.
*/
bool equalsIgnoringAsciiCase (const juce::String& first, const juce::String& second);

/** The text with A-Z made a-z and every other character kept: a key under
    which texts equalsIgnoringAsciiCase finds equal are the same.
*/
juce::String foldAsciiCase (const juce::String& text);
