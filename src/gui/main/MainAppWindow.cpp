#include "gui/main/MainAppWindow.h"

#include "gui/main/MainComponentSize.h"

namespace
{
    /** Stands in for the main component until the tabs exist: it only takes the
        main component's size, so that the window is laid out as it will be.
    */
    class EmptyMainContent final : public juce::Component
    {
    public:
        EmptyMainContent()
        {
            const auto size = computeMainComponentSize (getMainDisplayUsableArea());
            setSize (size.x, size.y);
        }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (juce::Colours::black);
        }
    };
}

const juce::Colour MainAppWindow::backgroundColour { 0xff292929 };

MainAppWindow::MainAppWindow (const AppContext& appContext)
    : juce::DocumentWindow ("Cobaltline", backgroundColour, juce::DocumentWindow::allButtons, true),
      context (appContext)
{
    setUsingNativeTitleBar (false);
    context.settings.writeDefaults();

    setContentOwned (new EmptyMainContent(), true);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
    setResizable (true, false);

    // The decision is taken now, while the window is being built: a profile
    // saved later in this run does not change it.
    firstRunSplashWanted = shouldShowFirstRunSplash (context.settings);
}

void MainAppWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplicationBase::getInstance())
        app->systemRequestedQuit();
}

bool MainAppWindow::shouldShowFirstRunSplash (const SettingsStore& store)
{
    return ! store.getProfileFile().exists();
}
