#pragma once

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

    /** Sorts rows (XML elements) by one attribute with compareTexts, then by
        their "ID" attributes; for XmlElement::sortChildElements.
    */
    class RowComparator
    {
    public:
        RowComparator (const juce::Identifier& attribute, bool forwards);

        int compareElements (const juce::XmlElement* first, const juce::XmlElement* second) const;

    private:
        const juce::Identifier attribute;
        const int direction;
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

    /** The page a double-click opens for a row: its "Website" when that is an
        http:// or https:// address (made safe with
        WebAddresses::fromUntrustedAddress), else a web search for its
        Vendor, a space and its Name.
    */
    juce::URL pageFor (const juce::XmlElement& row);

    /** One column of a table: what it shows, sorts and sizes by. */
    struct Column
    {
        int id;
        juce::String header;
        int width;
        juce::Identifier attribute;
        bool showsShortenedVersion;

        /** What this column's cell shows for a row (visibleText, and the
            version shortened where the column does that). */
        juce::String cellText (const juce::XmlElement& row) const;
    };

    /** One of the two tables: the per-machine file it shows and its columns. */
    struct TableDefinition
    {
        juce::String fileSuffix;
        std::vector<Column> columns;

        /** The column with this id, or nullptr. */
        const Column* findColumn (int id) const;

        /** The inventory: Name, Vendor, Format, Installed Version ("Version"). */
        static TableDefinition installed();

        /** The update list: Name, Vendor, Format, Installed Version
            ("InstalledVersion"), Latest Version ("CurrentVersion", shortened).
        */
        static TableDefinition updates();
    };
}
