#pragma once

#include <juce_core/juce_core.h>

/** A fresh folder under the system's temporary directory, deleted with its content. */
class TempFolder
{
public:
    TempFolder()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getNonexistentChildFile ("cobaltline-test", {}, false))
    {
        folder.createDirectory();
    }

    ~TempFolder()   { folder.deleteRecursively(); }

    const juce::File& get() const noexcept                      { return folder; }
    juce::File operator[] (const juce::String& path) const      { return folder.getChildFile (path); }

private:
    juce::File folder;

    JUCE_DECLARE_NON_COPYABLE (TempFolder)
};
