#pragma once

#include "core/context/AppContext.h"
#include "core/updates/VersionCheckSchedule.h"
#include "gui/desktop/BrowserLink.h"
#include "gui/views/InstalledTab.h"
#include "gui/views/NotRecognisedTab.h"
#include "gui/views/UpdatesTab.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The main window's content: the header with the program's version, the
    "Updates", "Installed" and "Not Recognised" tabs, the sponsor banner and the "Report Issues"
    link. It owns the schedule of the checks for a newer release of the
    program, and shows what they find.
*/
class Cobaltline final : public juce::Component,
                         private juce::Button::Listener
{
public:
    /** Everything in the context must outlive the component. */
    explicit Cobaltline (const AppContext& context);
    ~Cobaltline() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The checks for a newer release, started with the component. */
    VersionCheckSchedule& getVersionCheck() noexcept   { return versionCheck; }

    juce::TabbedComponent& getTabs() noexcept       { return tabs; }
    UpdatesTab& getUpdatesTab() noexcept            { return updatesTab; }
    InstalledTab& getInstalledTab() noexcept        { return installedTab; }
    NotRecognisedTab& getNotRecognisedTab() noexcept   { return notRecognisedTab; }

private:
    void buttonClicked (juce::Button* button) override;
    int showVersionCheckOutcome (const VersionCheck::Outcome& outcome);

    const AppContext context;
    UpdatesTab updatesTab;
    InstalledTab installedTab;
    NotRecognisedTab notRecognisedTab;
    juce::TabbedComponent tabs { juce::TabbedButtonBar::TabsAtTop };
    juce::Image headerImage, bannerImage;
    juce::ImageButton bannerButton { "bannerButton" };
    BrowserLink reportLink;
    VersionCheckSchedule versionCheck;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Cobaltline)
};
