#pragma once

#include <juce_core/juce_core.h>

#include <map>

/** The fields of a settings page measured against the file they show.

    For each field the page remembers the value the file held when the field
    was last filled from it. A field whose text still equals that value is
    untouched: it follows the file whenever the page looks at the file again,
    and saving writes the file's newest value for it, so that a value another
    window or dialog wrote meanwhile is never undone. A field the user changed
    keeps the user's text until it is saved.

    A plain value for one page; message thread, like the page.
*/
class EditedFields
{
public:
    EditedFields() = default;

    /** The file holds fileValue for the field, which shows the text shown:
        returns what the field shows from now on (the file's value, unless the
        user changed the field), and remembers fileValue.
    */
    juce::String follow (const juce::String& field, const juce::String& fileValue, const juce::String& shown);

    /** Whether the user changed the field since it was last filled from the
        file. A field never filled counts as untouched.
    */
    bool isEdited (const juce::String& field, const juce::String& shown) const;

    /** What a save writes for the field: the text shown when the user
        changed it, otherwise the file's newest value.
    */
    juce::String toSave (const juce::String& field, const juce::String& shown, const juce::String& newestFileValue) const;

    /** The file now holds value for the field (after a save). */
    void remember (const juce::String& field, const juce::String& value);

private:
    std::map<juce::String, juce::String> fileValues;

    JUCE_LEAK_DETECTOR (EditedFields)
};
