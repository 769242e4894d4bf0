#include "gui/views/UpdateNavigation.h"

#include "core/exchange/MachineExport.h"
#include "core/exchange/MachineImport.h"
#include "core/inventory/ScanLock.h"
#include "core/inventory/ScanStart.h"
#include "gui/account/cobaltlineFirstRunSplash.h"
#include "gui/look/Palette.h"
#include "gui/scan/PluginScan.h"
#include "gui/views/ProfileComparisonView.h"

#include "CobaltlineArt.h"

namespace
{
    juce::Image artImage (const char* data, int size)
    {
        return juce::ImageCache::getFromMemory (data, size);
    }

    void setUpButton (juce::ImageButton& button, const juce::Image& face, const juce::String& tooltip)
    {
        button.setImages (false, true, true,
                          face, 1.0f, juce::Colours::transparentBlack,
                          face, 1.0f, Palette::buttonHoverOverlay,
                          face, 1.0f, Palette::buttonPressedOverlay);
        button.setTooltip (tooltip);
    }

    void setUpLabel (juce::Label& label)
    {
        label.setFont (juce::Font (12.4f, juce::Font::plain));
        label.setJustificationType (juce::Justification::centred);
        label.setEditable (false, false, false);
        label.setColour (juce::Label::textColourId, Palette::navigationLabel);
        label.setColour (juce::Label::textWhenEditingColourId, juce::Colours::black);
        label.setColour (juce::Label::backgroundWhenEditingColourId, juce::Colours::transparentBlack);
    }
}

UpdateNavigation::UpdateNavigation (const AppContext& appContext)
    : context (appContext),
      prefsPanel (appContext)
{
    setName ("UpdateNavigation");

    setUpButton (scan, artImage (CobaltlineArt::scan_png, CobaltlineArt::scan_pngSize), "Scan for Plugins");
    setUpButton (exportButton, artImage (CobaltlineArt::export_png, CobaltlineArt::export_pngSize),
                 "Export Machine Profile");
    setUpButton (import, artImage (CobaltlineArt::import_png, CobaltlineArt::import_pngSize),
                 "Import Machine Profile");
    setUpButton (prefs, artImage (CobaltlineArt::prefs_png, CobaltlineArt::prefs_pngSize), "Open Preferences Window");

    for (auto* button : { &scan, &exportButton, &import, &prefs })
    {
        addAndMakeVisible (button);
        button->addListener (this);
    }

    for (auto* label : { &scanLabel, &exportLabel, &importLabel, &prefsLabel })
    {
        setUpLabel (*label);
        addAndMakeVisible (label);
    }

    leftCap = artImage (CobaltlineArt::barleft_png, CobaltlineArt::barleft_pngSize);
    rightCap = artImage (CobaltlineArt::barright_png, CobaltlineArt::barright_pngSize);
    middleTile = artImage (CobaltlineArt::barmiddle_png, CobaltlineArt::barmiddle_pngSize);

    setSize (922, 78);
}

UpdateNavigation::~UpdateNavigation()
{
    for (auto* button : { &scan, &exportButton, &import, &prefs })
        button->removeListener (this);
}

void UpdateNavigation::paint (juce::Graphics& g)
{
    const auto width = getWidth();

    g.drawImage (leftCap, 0, 0, 5, 78, 0, 0, leftCap.getWidth(), leftCap.getHeight());
    g.drawImage (rightCap, width - 5, 0, 5, 78, 0, 0, rightCap.getWidth(), rightCap.getHeight());

    g.setTiledImageFill (middleTile, 0, 0, 1.0f);
    g.fillRect (5, 0, width - 10, 78);
}

void UpdateNavigation::resized()
{
    // The first three pairs stand 65 pixels apart; the wider "Preferences"
    // label is centred under its button.
    scan.setBounds (15, 7, 45, 46);
    scanLabel.setBounds (15, 52, 45, 16);
    exportButton.setBounds (80, 7, 45, 46);
    exportLabel.setBounds (80, 52, 45, 16);
    import.setBounds (145, 7, 45, 46);
    importLabel.setBounds (145, 52, 45, 16);
    prefs.setBounds (215, 7, 45, 46);
    prefsLabel.setBounds (205, 52, 70, 16);
}

void UpdateNavigation::buttonClicked (juce::Button* button)
{
    if (button == &scan)
        startScan();
    else if (button == &exportButton)
        exportProfile();
    else if (button == &import)
        importProfile();
    else if (button == &prefs)
        showPreferences();
}

void UpdateNavigation::showPreferences()
{
    prefsPanel.show();
}

void UpdateNavigation::startScan()
{
    const auto decision = ScanStart::decide (context.settings);

    switch (decision.kind)
    {
        case ScanStart::Decision::Kind::profileMissing:
            if (context.desktop.showAlert (decision.alert) != ScanStart::takeMeThereResult)
                return;

            if (decision.offersSignUp)
            {
                cobaltlineFirstRunSplash::launch (context);
                return;
            }

            prefsPanel.setCurrentPage (PrefsPanel::profilePage);
            showPreferences();
            return;

        case ScanStart::Decision::Kind::refused:
            context.desktop.showAlert (decision.alert);
            return;

        case ScanStart::Decision::Kind::scan:
            break;
    }

    // The bar waits for the check; the rest of the window stays usable.
    // Without the service the scan still walks the folders and shows what it
    // found; only the updates are not checked.
    checkConnectionQuietlyThen (work, context, [this, decision] (bool online)
    {
        // One scan at a time: the other tab's bar, another window or the
        // console scanner may have started one meanwhile.
        const ScanLock lock (context.settings.getDataFolder());

        if (lock.isBusy())
        {
            context.desktop.showAlert (ScanLock::makeBusyAlert());
            return;
        }

        PluginScan job (context);
        const auto inventory = ScanStart::prepareFiles (context.settings, decision.machineName);

        job.setScanSettings (decision.folders.folders, inventory, decision.folders.formats, decision.machineName);
        job.setCheckingUpdates (online);
        job.runThread();

        // The keyboard goes back to the window the scan was started from, so
        // that the first click on a row also gives the rows the keyboard.
        if (auto* window = getTopLevelComponent(); window != nullptr && window->isOnDesktop())
            window->toFront (true);
    });
}

namespace
{
    /** Where the choosers for exports start. */
    juce::File exchangeFolder()
    {
        return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    }
}

void UpdateNavigation::exportProfile()
{
    const auto machineName = context.settings.getMachineName();

    // Told before the user picks a file for nothing.
    if (! MachineExport::hasResults (context.settings, machineName))
    {
        context.desktop.showAlert (MachineExport::makeAlert (MachineExport::Outcome::nothingToExport, {}));
        return;
    }

    const auto chosen = context.desktop.chooseFileToSave ("Export Machine Profile",
                                                          MachineExport::suggestedFile (exchangeFolder(), machineName),
                                                          MachineExport::filePatterns);

    if (chosen == juce::File())
        return;

    // The chooser asked about the name it showed; a name that gets its ending
    // here may name another file, which is not replaced without asking.
    const auto target = MachineExport::withExtension (chosen);

    if (target != chosen && target.exists() && context.desktop.showAlert (MachineExport::makeReplaceAlert (target)) != 1)
        return;

    work.start<MachineExport::Outcome> ([dataFolder = context.settings.getDataFolder(), machineName, target]
                                        (const BackgroundTask::ShouldAbort&)
                                        {
                                            const SettingsStore settings (dataFolder);
                                            return MachineExport::exportTo (settings, machineName, target);
                                        },
                                        [this, target] (MachineExport::Outcome outcome)
                                        {
                                            if (outcome != MachineExport::Outcome::written)
                                                context.desktop.showAlert (MachineExport::makeAlert (outcome, target));
                                        });
}

void UpdateNavigation::importProfile()
{
    const auto chosen = context.desktop.chooseFileToOpen ("Import Machine Profile", exchangeFolder(), "*.cobaltline");

    if (chosen == juce::File())
        return;

    // Read and compared on the worker; nothing on this machine is written.
    work.start<ProfileComparison::Imported> ([dataFolder = context.settings.getDataFolder(), chosen]
                                             (const BackgroundTask::ShouldAbort&)
                                             {
                                                 const SettingsStore settings (dataFolder);
                                                 return ProfileComparison::importAndCompare (chosen, settings);
                                             },
                                             [this, chosen] (ProfileComparison::Imported imported)
                                             {
                                                 if (imported.problem != MachineImport::Problem::none)
                                                     context.desktop.showAlert (MachineImport::makeAlert (imported.problem, chosen));
                                                 else
                                                     ProfileComparisonView::launch (context, imported.otherMachineName,
                                                                                    std::move (imported.comparison));
                                             });
}
