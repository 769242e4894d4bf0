#include "gui/main/Cobaltline.h"

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
Cobaltline::Cobaltline (const AppContext& appContext)
    : context (appContext),
      updatesTab (appContext),
      installedTab (appContext),
      notRecognisedTab (appContext),
      reportLink ("Report Issues", WebAddresses::reportIssues(), appContext.desktop),
      versionCheck (appContext.service, appContext.applicationVersion,
                    [this] (const VersionCheck::Outcome& outcome) { return showVersionCheckOutcome (outcome); })
{
    addAndMakeVisible (tabs);
    tabs.setTabBarDepth (35);
    tabs.addTab ("Updates", Palette::tab, &updatesTab, false);
    tabs.addTab ("Installed", Palette::tab, &installedTab, false);
    tabs.addTab ("Not Recognised", Palette::tab, &notRecognisedTab, false);
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

    versionCheck.start();
}

Cobaltline::~Cobaltline()
{
    bannerButton.removeListener (this);
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

int Cobaltline::showVersionCheckOutcome (const VersionCheck::Outcome& outcome)
{
    if (outcome.finding != VersionCheck::Finding::newer)
        return 0;

    const SafePointer<Cobaltline> stillHere (this);
    const auto answer = context.desktop.showAlert (VersionCheck::makeAlert (outcome));

    // The program may have been closed while the alert was up.
    if (stillHere != nullptr && answer == VersionCheck::downloadResult)
        if (const auto page = WebAddresses::fromUntrustedAddress (outcome.url); ! page.isEmpty())
            context.desktop.openUrl (page);

    return answer;
}
