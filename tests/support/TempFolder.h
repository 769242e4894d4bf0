#pragma once

#include <juce_core/juce_core.h>

#include <unistd.h>

/** A fresh folder under the system's temporary directory, deleted with its content. */
class TempFolder
{
public:
    TempFolder()
        : folder (uniqueFolder ("cobaltline-test-"))
    {
        folder.createDirectory();
    }

    /** A name no other test process picks, even when tests run in parallel. */
    static juce::File uniqueFolder (const juce::String& prefix)
    {
        return juce::File::getSpecialLocation (juce::File::tempDirectory)
            .getChildFile (prefix + juce::String ((int) getpid()) + "-"
                           + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));
    }

    ~TempFolder()   { folder.deleteRecursively(); }

    const juce::File& get() const noexcept                      { return folder; }
    juce::File operator[] (const juce::String& path) const      { return folder.getChildFile (path); }

private:
    juce::File folder;

    JUCE_DECLARE_NON_COPYABLE (TempFolder)
};
