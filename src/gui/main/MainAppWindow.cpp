#include "gui/main/MainAppWindow.h"

#include "core/updates/StaleResults.h"
#include "gui/look/Palette.h"
#include "gui/main/Cobaltline.h"
#include "gui/account/cobaltlineFirstRunSplash.h"

#include "CobaltlineArt.h"

MainAppWindow::MainAppWindow (const AppContext& appContext)
    : juce::DocumentWindow ("Cobaltline", Palette::windowBackground, juce::DocumentWindow::allButtons, true),
      context (appContext)
{
    setUsingNativeTitleBar (false);
    setIcon (juce::ImageCache::getFromMemory (CobaltlineArt::icon_png, CobaltlineArt::icon_pngSize));
    context.settings.writeDefaults();

    // Results an hour old are gone before any table reads its file.
    StaleResults::purge (context.settings, context.clock.now());

    setContentOwned (new Cobaltline (context), true);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
    setResizable (true, false);

    // The decision is taken now, while the window is being built: a profile
    // saved later in this run does not change it. The splash opens over the
    // window, which is already shown and whose version check already runs.
    firstRunSplashWanted = cobaltlineFirstRunSplash::isForNewUser (context.settings);

    if (firstRunSplashWanted)
        cobaltlineFirstRunSplash::launch (context);
}

void MainAppWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplicationBase::getInstance())
        app->systemRequestedQuit();
}
