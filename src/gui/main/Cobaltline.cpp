#include "gui/main/Cobaltline.h"

#include "core/updates/StaleResults.h"
#include "core/context/WebAddresses.h"
#include "gui/look/Palette.h"
#include "gui/main/MainComponentSize.h"

#include "CobaltlineArt.h"

namespace
{
    /** The font, made smaller where needed so the text fits the width (down to 9 pixels high). */
    juce::Font fittedFont (juce::Font font, const juce::String& text, float width)
    {
        while (font.getHeight() > 9.0f && font.getStringWidthFloat (text) > width)
            font.setHeight (font.getHeight() - 0.5f);

        return font;
    }
}

//==============================================================================
/** Runs one version check at a time off the message thread and hands the
    outcome back to the component, if it still exists.
*/
class Cobaltline::VersionCheckThread final : public juce::Thread
{
public:
    VersionCheckThread (const ServiceEndpoint& serviceEndpoint, const juce::String& applicationVersion)
        : juce::Thread ("Version check"), service (serviceEndpoint), version (applicationVersion)
    {
    }

    ~VersionCheckThread() override
    {
        // The exchanges poll threadShouldExit and are cancelled at once.
        stopThread (stopTimeoutMs);
    }

    /** Message thread only. False when no check could be started. */
    bool start (juce::Component::SafePointer<Cobaltline> target)
    {
        if (! waitForThreadToExit (stopTimeoutMs))
            return false;

        owner = target;
        return startThread();
    }

private:
    void run() override
    {
        auto outcome = VersionCheck::run (service, version, [this] { return threadShouldExit(); });

        if (threadShouldExit())
            return;

        juce::MessageManager::callAsync ([target = owner, outcome = std::move (outcome)]
        {
            if (auto* component = target.getComponent())
                component->versionCheckFinished (outcome);
        });
    }

    static constexpr int stopTimeoutMs = 5000;

    const ServiceEndpoint& service;
    const juce::String version;
    juce::Component::SafePointer<Cobaltline> owner;
};

//==============================================================================
Cobaltline::Cobaltline (const AppContext& appContext)
    : context (appContext),
      updatesTab (appContext),
      installedTab (appContext),
      reportLink ("Report Issues", WebAddresses::reportIssues(), appContext.desktop),
      versionCheckThread (std::make_unique<VersionCheckThread> (appContext.service, appContext.applicationVersion))
{
    addAndMakeVisible (tabs);
    tabs.setTabBarDepth (35);
    tabs.addTab ("Updates", Palette::tab, &updatesTab, false);
    tabs.addTab ("Installed", Palette::tab, &installedTab, false);
    tabs.setCurrentTabIndex (0);

    headerImage = juce::ImageCache::getFromMemory (CobaltlineArt::header_png, CobaltlineArt::header_pngSize);
    bannerImage = juce::ImageCache::getFromMemory (CobaltlineArt::banner_jpg, CobaltlineArt::banner_jpgSize);

    addAndMakeVisible (bannerButton);
    bannerButton.setImages (false, true, true,
                            bannerImage, 1.0f, juce::Colours::transparentBlack,
                            bannerImage, 1.0f, juce::Colours::transparentBlack,
                            bannerImage, 1.0f, juce::Colours::transparentBlack);
    bannerButton.addListener (this);
    bannerButton.setTooltip (WebAddresses::sponsorTooltip);

    addAndMakeVisible (reportLink);
    reportLink.setColour (juce::HyperlinkButton::textColourId, Palette::link);

    const auto size = computeMainComponentSize (getMainDisplayUsableArea());
    setSize (size.x, size.y);

    startTimer (versionCheckPeriodMs);

    // After the tables have read their files: they show the purge's result
    // from their next reload.
    StaleResults::purge (context.settings, context.clock.now());
}

Cobaltline::~Cobaltline()
{
    stopTimer();
    bannerButton.removeListener (this);
    versionCheckThread = nullptr;
}

void Cobaltline::paint (juce::Graphics& g)
{
    g.fillAll (Palette::mainBackground);
    g.drawImageWithin (headerImage, 2, 14, 340, 43, juce::RectanglePlacement::centred);

    // The version text must not run under the "Report Issues" link, whose bounds begin at x 95.
    const auto versionText = context.applicationVersion + " Public Beta - ";
    g.setColour (Palette::headerText);
    g.setFont (fittedFont (g.getCurrentFont(), versionText, 90.0f));
    g.drawText (versionText, 5, 54, 100, 20, juce::Justification::centredLeft, false);

    g.setFont (10.0f);
    g.drawText ("Visit our Sponsor", getWidth() - 110, 1, 100, 20, juce::Justification::centredRight, false);
}

void Cobaltline::resized()
{
    const auto width = getWidth();

    // The tabs reach past the bottom edge; their contents are laid out for that.
    tabs.setBounds (0, 91, width, juce::roundToInt (getHeight() * 0.9747));
    reportLink.setBounds (95, 54, 100, 20);
    bannerButton.setBounds (width - 473, 20, 468, 60);
}

void Cobaltline::buttonClicked (juce::Button* button)
{
    if (button == &bannerButton)
        context.desktop.openUrl (WebAddresses::sponsorShop());
}

void Cobaltline::timerCallback()
{
    // The next period is set when the outcome is in; no second check starts meanwhile.
    stopTimer();

    if (! versionCheckThread->start (this))
    {
        versionCheckPeriodMs = VersionCheck::quietPeriodMs;   // try again later
        startTimer (versionCheckPeriodMs);
    }
}

void Cobaltline::versionCheckFinished (const VersionCheck::Outcome& outcome)
{
    // Offline nothing was asked, and the last reply stays.
    if (outcome.finding != VersionCheck::Finding::offline)
        lastReply = outcome.reply;

    auto answer = 0;

    if (outcome.finding == VersionCheck::Finding::newer)
    {
        const SafePointer<Cobaltline> stillHere (this);
        answer = context.desktop.showAlert (VersionCheck::makeAlert (outcome));

        // The program may have been closed while the alert was up.
        if (stillHere == nullptr)
            return;

        if (answer == VersionCheck::downloadResult)
            if (const auto page = WebAddresses::fromUntrustedAddress (outcome.url); ! page.isEmpty())
                context.desktop.openUrl (page);
    }

    versionCheckPeriodMs = VersionCheck::nextPeriodMs (outcome.finding, answer, versionCheckPeriodMs);
    startTimer (versionCheckPeriodMs);
}
