#pragma once

#include "core/context/AppContext.h"
#include "core/updates/VersionCheck.h"
#include "gui/desktop/BrowserLink.h"
#include "gui/views/InstalledTab.h"
#include "gui/views/UpdatesTab.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The main window's content: the header with the program's version, the
    "Updates" and "Installed" tabs, the sponsor banner and the "Report Issues"
    link. It checks for a newer release of the program on a timer, and at
    construction discards results an hour old or older.
*/
class Cobaltline final : public juce::Component,
                         private juce::Timer,
                         private juce::Button::Listener
{
public:
    /** Everything in the context must outlive the component. */
    explicit Cobaltline (const AppContext& context);
    ~Cobaltline() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The version check: it runs on a thread of its own, so a slow service
        never holds up the window; its outcome comes back to the message thread
        (versionCheckFinished), which restarts the timer with the next period.
    */
    void timerCallback() override;

    /** The timer's period now; 0 while a check is under way. */
    int getVersionCheckPeriodMs() const noexcept   { return getTimerInterval(); }

    /** The reply of the last version check, or nullptr. */
    const juce::XmlElement* getLastVersionReply() const noexcept   { return lastReply.get(); }

    juce::TabbedComponent& getTabs() noexcept       { return tabs; }
    UpdatesTab& getUpdatesTab() noexcept            { return updatesTab; }
    InstalledTab& getInstalledTab() noexcept        { return installedTab; }

private:
    class VersionCheckThread;

    void buttonClicked (juce::Button* button) override;
    void versionCheckFinished (const VersionCheck::Outcome& outcome);

    const AppContext context;
    UpdatesTab updatesTab;
    InstalledTab installedTab;
    juce::TabbedComponent tabs { juce::TabbedButtonBar::TabsAtTop };
    juce::Image headerImage, bannerImage;
    juce::ImageButton bannerButton { "bannerButton" };
    BrowserLink reportLink;
    std::shared_ptr<const juce::XmlElement> lastReply;
    int versionCheckPeriodMs = VersionCheck::firstPeriodMs;
    std::unique_ptr<VersionCheckThread> versionCheckThread;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Cobaltline)
};
