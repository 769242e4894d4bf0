#pragma once

#include "core/tables/PluginRow.h"

#include <juce_core/juce_core.h>

#include <vector>

/** How the Installed and Updates tables show, sort and open their rows. */
namespace TableRules
{
    /** Compares two texts as the tables sort them: characters that are neither
        letters nor digits are skipped at the start of both, then the rest is
        compared without regard to case, character by character (so "10.2"
        comes before "9.1"). Negative, zero or positive.
    */
    int compareTexts (const juce::String& first, const juce::String& second);

    /** One text of a row, as a column shows and sorts it. */
    using RowField = juce::String PluginRow::*;

    /** Orders rows by one of their texts with compareTexts, then by their ids
        (the inventory has none, so its equal rows stay equal); reversed when
        not forwards. A strict weak order, for std::sort and std::stable_sort.
    */
    class RowComparator
    {
    public:
        RowComparator (RowField field, bool forwards);

        /** Negative, zero or positive. */
        int compare (const PluginRow& first, const PluginRow& second) const;

        bool operator() (const PluginRow& first, const PluginRow& second) const   { return compare (first, second) < 0; }

    private:
        RowField field;
        int direction;
    };

    /** A version as the "Latest Version" column shows it: trailing "0"s are
        removed, and a "0" is put back after a final "." ("2.500" shows "2.5",
        "3.000" shows "3.0"). A text without "." is shown as it is, so "10"
        stays "10".
    */
    juce::String displayedVersion (const juce::String& version);

    /** Text as the tables show it: control characters (U+0000 to U+001F, and
        U+007F) as their visible symbols of the U+2400 block ("Synth" and
        U+0001 shows "Synth\u2401"), so that no name shows as nothing.
    */
    juce::String visibleText (const juce::String& text);

    /** The page a double-click opens for a row: its website when that is an
        http:// or https:// address (made safe with
        WebAddresses::fromUntrustedAddress), else a web search for its
        vendor, a space and its name.
    */
    juce::URL pageFor (const PluginRow& row);

    /** One column of a table: what it shows, sorts and sizes by. */
    struct Column
    {
        int id;
        juce::String header;
        int width;
        RowField field;                 ///< what it shows, sorts and sizes by
        bool showsShortenedVersion;

        /** What this column's cell shows for a row (visibleText, and the
            version shortened where the column does that). */
        juce::String cellText (const PluginRow& row) const;

        /** The text the column is auto-sized by: the stored text made visible,
            also where the cell shows a shortened version. */
        juce::String sizingText (const PluginRow& row) const;
    };

    /** One of the two tables: the per-machine file it shows and its columns. */
    struct TableDefinition
    {
        juce::String fileSuffix;
        PluginListKind kind;
        std::vector<Column> columns;

        /** The column with this id, or nullptr. */
        const Column* findColumn (int id) const;

        /** The inventory: Name, Vendor, Format, Installed Version. */
        static TableDefinition installed();

        /** The update list: Name, Vendor, Format, Installed Version, Latest
            Version (shown shortened).
        */
        static TableDefinition updates();

        /** The files the last scan could not use, from the scan details: File,
            Format, Reason, Stated Version, Path.
        */
        static TableDefinition notRecognised();

        /** Two machines side by side: Name, Vendor, Format, This Machine (the
            installed version here), the other machine's version under its
            name, and the Difference. Its rows are given, not read from a file.
        */
        static TableDefinition comparison (const juce::String& otherMachineName);
    };
}
