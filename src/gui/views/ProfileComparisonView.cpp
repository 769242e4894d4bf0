#include "gui/views/ProfileComparisonView.h"

#include "gui/desktop/Dialogs.h"
#include "gui/look/Palette.h"

namespace
{
    juce::String summaryOf (const ProfileComparison::Result& comparison)
    {
        using Group = ProfileComparison::Group;
        juce::StringArray parts;

        for (const auto group : { Group::missingHere, Group::missingThere, Group::olderHere, Group::newerHere, Group::same })
            parts.add (ProfileComparison::nameOf (group) + ": " + juce::String (comparison.counts[(size_t) group]));

        return parts.joinIntoString ("     ");
    }
}

ProfileComparisonView::ProfileComparisonView (const AppContext& context, const juce::String& otherMachineName,
                                              ProfileComparison::Result comparison)
    : table (context, TableRules::TableDefinition::comparison (otherMachineName), "comparisonList",
             std::move (comparison.rows))
{
    setName ("ProfileComparisonView");

    addAndMakeVisible (summary);
    summary.setText (summaryOf (comparison), juce::dontSendNotification);
    summary.setColour (juce::Label::textColourId, Palette::formLabel);
    summary.setFont (juce::Font (14.0f));

    addAndMakeVisible (table);
    setSize (width, height);
}

juce::DialogWindow* ProfileComparisonView::launch (const AppContext& context, const juce::String& otherMachineName,
                                                   ProfileComparison::Result comparison)
{
    auto view = std::make_unique<ProfileComparisonView> (context, otherMachineName, std::move (comparison));
    return Dialogs::launch (std::move (view), titleFor (otherMachineName));
}

juce::String ProfileComparisonView::titleFor (const juce::String& otherMachineName)
{
    // The name comes from the file: a missing one is named, a long one cut short.
    const auto name = TableRules::visibleText (otherMachineName.trim());

    if (name.isEmpty())
        return "Compared with Another Machine";

    return "Compared with " + (name.length() > maxNameLength ? name.substring (0, maxNameLength) + juce::String::charToString ((juce::juce_wchar) 0x2026)
                                                              : name);
}

void ProfileComparisonView::paint (juce::Graphics& g)
{
    g.fillAll (Palette::windowBackground);
}

void ProfileComparisonView::resized()
{
    summary.setBounds (14, 8, getWidth() - 28, 24);

    // The table's panel leaves room below its rows for a status line, which
    // this table does not show: that room lies past the window's edge.
    table.setBounds (10, 40, getWidth() - 20, getHeight() - 40 + 70);
}
