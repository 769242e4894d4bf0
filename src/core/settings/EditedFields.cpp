#include "core/settings/EditedFields.h"

juce::String EditedFields::follow (const juce::String& field, const juce::String& fileValue, const juce::String& shown)
{
    const auto result = isEdited (field, shown) ? shown : fileValue;
    remember (field, fileValue);
    return result;
}

bool EditedFields::isEdited (const juce::String& field, const juce::String& shown) const
{
    const auto found = fileValues.find (field);
    return found != fileValues.end() && found->second != shown;
}

juce::String EditedFields::toSave (const juce::String& field, const juce::String& shown,
                                   const juce::String& newestFileValue) const
{
    return isEdited (field, shown) ? shown : newestFileValue;
}

void EditedFields::remember (const juce::String& field, const juce::String& value)
{
    fileValues[field] = value;
}
