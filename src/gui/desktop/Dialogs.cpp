#include "gui/desktop/Dialogs.h"

#include "gui/look/Palette.h"

namespace Dialogs
{
juce::DialogWindow* launch (std::unique_ptr<juce::Component> content, const juce::String& title)
{
    // Every option set: JUCE's defaults are a native, resizable, light grey window.
    juce::DialogWindow::LaunchOptions options;
    options.content.setOwned (content.release());
    options.dialogTitle = title;
    options.dialogBackgroundColour = Palette::windowBackground;
    options.escapeKeyTriggersCloseButton = true;
    options.useNativeTitleBar = false;
    options.resizable = false;
    options.useBottomRightCornerResizer = false;
    return options.launchAsync();
}

juce::DialogWindow* findWindowOf (juce::Component& component)
{
    return component.findParentComponentOfClass<juce::DialogWindow>();
}
}
