#pragma once

#include "core/context/AppContext.h"
#include "core/inventory/PluginFolderFinder.h"
#include "core/settings/EditedFields.h"
#include "gui/desktop/ComponentTask.h"
#include "gui/prefs/SettingsPage.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The "Paths" page of the preferences: ten plug-in folders, each with its
    format and a tick box that includes it in the next scan, saved to
    Paths.xml. "Browse..." picks a folder with the folder chooser.
*/
class cobaltlinePrefs_Paths final : public juce::Component,
                                    public SettingsPage::FollowsItsFile,
                                    private juce::Button::Listener,
                                    private juce::ComboBox::Listener
{
public:
    /** Fills the rows from the paths settings; the context must outlive the page. */
    explicit cobaltlinePrefs_Paths (const AppContext& context);
    ~cobaltlinePrefs_Paths() override;

    void resized() override;
    void followFile() override;

    static constexpr int numRows = ScanFolders::numRows;
    static constexpr const char* chooserTitle = "Select a plugin directory to add...";
    static constexpr const char* findFoldersTitle = "Find Folders";

    /** Where "Find Folders" looks (the system unless a test says otherwise); must outlive the page. */
    void setFolderSources (const PluginFolderFinder::Sources& sources)   { folderSources = &sources; }

private:
    struct Row;

    void buttonClicked (juce::Button* button) override;
    void comboBoxChanged (juce::ComboBox*) override   {}   // a format counts only when saved
    void browse (Row& row);
    void saveSettings();
    void findFolders();
    void fillEmptyRows (const std::vector<PluginFolderFinder::Found>& found);

    const AppContext context;
    EditedFields edited;
    juce::OwnedArray<Row> rows;
    juce::TextButton save { "Save Settings" };
    juce::TextButton find { "Find Folders" };
    const PluginFolderFinder::Sources* folderSources = &PluginFolderFinder::systemSources();
    ComponentTask finding { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (cobaltlinePrefs_Paths)
};
