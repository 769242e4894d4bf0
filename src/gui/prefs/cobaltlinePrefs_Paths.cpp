#include "gui/prefs/cobaltlinePrefs_Paths.h"

#include "core/inventory/PluginFormats.h"
#include "gui/look/FormLook.h"
#include "gui/prefs/SettingsPage.h"

namespace
{
    const char* const scanTooltip = "If this box is checked, this path will be scanned during the next plugin scan. "
                                    "Uncheck to ignore this path.";

    /** A tick box as Paths.xml stores it. */
    juce::String toggleText (bool on)   { return on ? "1" : "0"; }

    /** Where the chooser starts: the row's folder, else the nearest folder above
        it that exists, else the user's home folder.
    */
    juce::File startingFolder (const juce::String& text)
    {
        if (juce::File::isAbsolutePath (text))
        {
            for (auto folder = juce::File (text);; folder = folder.getParentDirectory())
            {
                if (folder.isDirectory())
                    return folder;

                if (folder == folder.getParentDirectory())
                    break;
            }
        }

        return juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    }
}

/** One folder row: path, "Browse...", format and scan tick box, numbered 1 to 10. */
struct cobaltlinePrefs_Paths::Row
{
    explicit Row (int n)
        : number (n),
          pathLabel ("pathLabel" + juce::String (n), "Path " + juce::String (n) + ":"),
          path ("path" + juce::String (n)),
          formatLabel ("pathFormatLabel" + juce::String (n), "Format:"),
          format ("pathFormat" + juce::String (n)),
          scanLabel ("scanLabel" + juce::String (n), "Scan:")
    {
        browse.setName ("pathBrowse" + juce::String (n));
        scanToggle.setName ("scanToggle" + juce::String (n));

        FormLook::setUpField (path);

        for (auto* label : { &pathLabel, &formatLabel, &scanLabel })
            FormLook::setUpLabel (*label);

        scanLabel.setTooltip (scanTooltip);
        scanToggle.setTooltip (scanTooltip);

        format.setEditableText (false);
        format.setJustificationType (juce::Justification::centredLeft);
        format.setTextWhenNothingSelected ("Select...");
        format.setTextWhenNoChoicesAvailable ("(no choices)");

        for (const auto id : PluginFormats::allIds)
        {
            format.addItem (PluginFormats::name (id), id);
            format.setItemEnabled (id, PluginFormats::isEnabled (id));
        }
    }

    void setBounds()
    {
        const auto y = 30 * number;
        pathLabel.setBounds (30, y, 59, 20);
        path.setBounds (90, y, 260, 20);
        browse.setBounds (360, y, 60, 22);
        formatLabel.setBounds (430, y, 59, 20);
        format.setBounds (490, y, 75, 20);
        scanLabel.setBounds (570, y, 49, 20);
        scanToggle.setBounds (620, y, 20, 20);
    }

    const int number;
    juce::Label pathLabel;
    juce::TextEditor path;
    juce::TextButton browse { "Browse..." };
    juce::Label formatLabel;
    juce::ComboBox format;
    juce::Label scanLabel;
    juce::ToggleButton scanToggle;
};

cobaltlinePrefs_Paths::cobaltlinePrefs_Paths (const AppContext& appContext)
    : context (appContext)
{
    setName ("cobaltlinePrefs_Paths");

    for (int n = 1; n <= numRows; ++n)
    {
        auto* row = rows.add (std::make_unique<Row> (n));

        for (auto* child : std::initializer_list<juce::Component*> { &row->pathLabel, &row->path, &row->browse,
                                                                     &row->formatLabel, &row->format,
                                                                     &row->scanLabel, &row->scanToggle })
            addAndMakeVisible (child);

        row->browse.addListener (this);
        row->scanToggle.addListener (this);
        row->format.addListener (this);
    }

    followFile();

    save.setName ("saveSettings");
    save.setTooltip ("Save paths settings.");
    find.setName ("findFolders");
    find.setTooltip ("Fill empty rows with the standard plugin folders found on this computer.");

    for (auto* button : { &save, &find })
    {
        button->addListener (this);
        addAndMakeVisible (button);
    }

    setSize (680, 390);
}

cobaltlinePrefs_Paths::~cobaltlinePrefs_Paths()
{
    for (auto* row : rows)
    {
        row->browse.removeListener (this);
        row->scanToggle.removeListener (this);
        row->format.removeListener (this);
    }

    save.removeListener (this);
    find.removeListener (this);
}

void cobaltlinePrefs_Paths::resized()
{
    for (auto* row : rows)
        row->setBounds();

    find.setBounds (170, 350, 130, 22);
    save.setBounds (310, 350, 130, 22);
}

void cobaltlinePrefs_Paths::followFile()
{
    // A file that cannot be read gives empty rows with their boxes off.
    const auto stored = context.settings.readScanFolders();

    for (auto* row : rows)
    {
        const auto& folder = stored.rows[(size_t) row->number - 1];

        if (const auto text = edited.follow (row->path.getName(), folder.folder, row->path.getText());
            text != row->path.getText())
            row->path.setText (text, false);

        const auto toggle = edited.follow (row->scanToggle.getName(), toggleText (folder.scan),
                                           toggleText (row->scanToggle.getToggleState()));
        row->scanToggle.setToggleState (toggle == "1", juce::sendNotification);

        // A format the box does not offer shows as VST.
        const auto format = edited.follow (row->format.getName(), juce::String (PluginFormats::shownId (folder.formatId)),
                                           juce::String (row->format.getSelectedId()));
        row->format.setSelectedId (format.getIntValue(), juce::dontSendNotification);
    }
}

void cobaltlinePrefs_Paths::buttonClicked (juce::Button* button)
{
    if (button == &save)
    {
        saveSettings();
        return;
    }

    if (button == &find)
    {
        findFolders();
        return;
    }

    // A tick box is only read when saving.
    for (auto* row : rows)
    {
        if (button == &row->browse)
        {
            browse (*row);
            return;
        }
    }
}

void cobaltlinePrefs_Paths::browse (Row& row)
{
    const SafePointer<cobaltlinePrefs_Paths> stillHere (this);
    const auto chosen = context.desktop.chooseFolder (chooserTitle, startingFolder (row.path.getText()));

    // The chooser may have run the message loop; the page is only touched if it still exists.
    if (stillHere != nullptr && chosen != juce::File())
        row.path.setText (chosen.getFullPathName(), false);
}

void cobaltlinePrefs_Paths::saveSettings()
{
    // A row the user left alone keeps the file's newest values.
    const auto stored = context.settings.readScanFolders();
    ScanFolders folders;

    for (auto* row : rows)
    {
        const auto index = (size_t) row->number - 1;
        auto& folder = folders.rows[index];
        folder.folder = edited.toSave (row->path.getName(), row->path.getText(), stored.rows[index].folder);
        folder.formatId = edited.toSave (row->format.getName(), juce::String (row->format.getSelectedId()),
                                         juce::String (PluginFormats::shownId (stored.rows[index].formatId))).getIntValue();
        folder.scan = edited.toSave (row->scanToggle.getName(), toggleText (row->scanToggle.getToggleState()),
                                     toggleText (stored.rows[index].scan)) == "1";
    }

    if (SettingsPage::closeIfSaved (*this, context.settings.writeScanFolders (folders),
                                    context.settings.getPathsFile(), context.desktop))
        followFile();
}

void cobaltlinePrefs_Paths::findFolders()
{
    // The search looks at many folders: the page waits for it off the message thread.
    finding.start<std::vector<PluginFolderFinder::Found>> ([sources = folderSources] (const BackgroundTask::ShouldAbort&)
                                                          {
                                                              return PluginFolderFinder::find (*sources);
                                                          },
                                                          [this] (std::vector<PluginFolderFinder::Found> found)
                                                          {
                                                              fillEmptyRows (found);
                                                          });
}

void cobaltlinePrefs_Paths::fillEmptyRows (const std::vector<PluginFolderFinder::Found>& found)
{
    int added = 0, leftOut = 0;

    for (const auto& folder : found)
    {
        // A folder a row already holds with the same format is not offered twice.
        const auto alreadyThere = std::any_of (rows.begin(), rows.end(), [&folder] (const Row* row)
        {
            return row->path.getText() == folder.folder && row->format.getSelectedId() == folder.formatId;
        });

        if (alreadyThere)
            continue;

        const auto empty = std::find_if (rows.begin(), rows.end(), [] (const Row* row) { return row->path.isEmpty(); });

        if (empty == rows.end())
        {
            ++leftOut;
            continue;
        }

        auto& row = **empty;
        row.path.setText (folder.folder, false);
        row.format.setSelectedId (folder.formatId, juce::dontSendNotification);
        row.scanToggle.setToggleState (true, juce::dontSendNotification);
        ++added;
    }

    const auto folders = [] (int n) { return juce::String (n) + (n == 1 ? " plugin folder" : " plugin folders"); };
    juce::String text;

    if (leftOut > 0)
        text = "Added " + folders (added) + "; " + juce::String (leftOut) + " more " + (leftOut == 1 ? "was" : "were")
             + " found, but no empty rows were left for them.";
    else if (added > 0)
        text = "Added " + folders (added) + ". Save Settings keeps them.";
    else
        text = "No standard plugin folders were found that the rows do not list already.";

    context.desktop.showAlert (AlertRequest::ok (findFoldersTitle, text, AlertIcon::info));
}
