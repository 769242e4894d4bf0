#include "gui/views/PluginTab.h"

PluginTab::PluginTab (const AppContext& context, TableFactory makeTable, const juce::String& name)
    : navigation (context),
      tableList (makeTable (context))
{
    setName (name);
    addAndMakeVisible (navigation);
    addAndMakeVisible (*tableList);
    setSize (920, 620);
}

void PluginTab::resized()
{
    navigation.setBounds (20, 20, getWidth() - 40, 78);
    tableList->setBounds (20, 98, getWidth() - 40, getHeight() - 118);
}
