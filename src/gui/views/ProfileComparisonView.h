#pragma once

#include "core/exchange/ProfileComparison.h"
#include "gui/views/PluginTableList.h"

/** Another machine's plug-ins beside this machine's, from an imported
    machine profile: a line with the size of each group above a table that
    looks, sorts and opens its rows like the tabs. Shown in a dialog window
    titled with the other machine's name; it changes nothing on this machine.
*/
class ProfileComparisonView final : public juce::Component
{
public:
    /** Everything in the context must outlive the view. */
    ProfileComparisonView (const AppContext& context, const juce::String& otherMachineName,
                           ProfileComparison::Result comparison);

    /** Opens the view in a new dialog window and returns at once. */
    static juce::DialogWindow* launch (const AppContext& context, const juce::String& otherMachineName,
                                       ProfileComparison::Result comparison);

    /** "Compared with STUDIO-B". */
    static juce::String titleFor (const juce::String& otherMachineName);

    void paint (juce::Graphics& g) override;
    void resized() override;

    PluginTableList& getTable() noexcept          { return table; }
    juce::String getSummary() const               { return summary.getText(); }

    static constexpr int width = 860, height = 540;
    static constexpr int maxNameLength = 64;

private:
    juce::Label summary { "comparisonSummary" };
    PluginTableList table;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProfileComparisonView)
};
