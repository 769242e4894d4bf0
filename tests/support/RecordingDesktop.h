#pragma once

#include "core/platform/DesktopServices.h"

#include <juce_events/juce_events.h>

#include <functional>
#include <mutex>
#include <vector>

/** A DesktopServices for tests: records every alert, URL, chooser, menu and
    copied text instead of showing them, and answers each alert as a user pressing Return
    would (the result of the button bound to Return, else 0), unless told
    otherwise.
*/
class RecordingDesktop final : public DesktopServices
{
public:
    RecordingDesktop() = default;

    int showAlert (const AlertRequest& request) override
    {
        std::function<int (const AlertRequest&)> answer;

        {
            const std::lock_guard<std::mutex> sl (lock);
            alerts.push_back (request);
            answer = answerer;

            // Alerts belong to the message thread, whichever thread asks for them.
            if (! juce::MessageManager::existsAndIsCurrentThread())
                ++alertsOffMessageThread;
        }

        if (answer)
            return answer (request);

        for (const auto& button : request.buttons)
            if (button.key == AlertKey::returnKey)
                return button.result;

        return 0;
    }

    bool openUrl (const juce::URL& url) override
    {
        const std::lock_guard<std::mutex> sl (lock);
        urls.push_back (url.toString (true));
        return true;
    }

    /** Answers as the user picking the folder set with pickFolder (nobody picks: cancelled). */
    juce::File chooseFolder (const juce::String& title, const juce::File& initialFolder) override
    {
        const std::lock_guard<std::mutex> sl (lock);
        folderRequests.push_back ({ title, initialFolder });
        return folderToPick;
    }

    void pickFolder (const juce::File& folder)
    {
        const std::lock_guard<std::mutex> sl (lock);
        folderToPick = folder;
    }

    /** Answers the file choosers as the user picking these files (juce::File(): cancelled). */
    juce::File chooseFileToSave (const juce::String& title, const juce::File& initialFile, const juce::String&) override
    {
        const std::lock_guard<std::mutex> sl (lock);
        fileRequests.push_back ({ title, initialFile });
        return fileToSave;
    }

    juce::File chooseFileToOpen (const juce::String& title, const juce::File& initialFolder, const juce::String&) override
    {
        const std::lock_guard<std::mutex> sl (lock);
        fileRequests.push_back ({ title, initialFolder });
        return fileToOpen;
    }

    void pickFileToSave (const juce::File& file)   { const std::lock_guard<std::mutex> sl (lock); fileToSave = file; }
    void pickFileToOpen (const juce::File& file)   { const std::lock_guard<std::mutex> sl (lock); fileToOpen = file; }

    /** The title and starting place of every file chooser asked for. */
    std::vector<std::pair<juce::String, juce::File>> getFileRequests() const
    {
        const std::lock_guard<std::mutex> sl (lock);
        return fileRequests;
    }

    /** Records the menu and answers with the entry whose text is set with
        chooseMenuEntry (none set, or not in the menu: dismissed).
    */
    int showMenu (const std::vector<MenuEntry>& entries, ScreenArea) override
    {
        const std::lock_guard<std::mutex> sl (lock);
        menus.push_back (entries);

        for (const auto& entry : entries)
            if (entry.text == menuEntryToChoose && entry.enabled)
                return entry.id;

        return 0;
    }

    void chooseMenuEntry (const juce::String& text)   { const std::lock_guard<std::mutex> sl (lock); menuEntryToChoose = text; }

    std::vector<std::vector<MenuEntry>> getMenus() const
    {
        const std::lock_guard<std::mutex> sl (lock);
        return menus;
    }

    void copyToClipboard (const juce::String& text) override
    {
        const std::lock_guard<std::mutex> sl (lock);
        clipboard = text;
    }

    juce::String getClipboard() const
    {
        const std::lock_guard<std::mutex> sl (lock);
        return clipboard;
    }

    /** The title and starting folder of every folder chooser asked for. */
    std::vector<std::pair<juce::String, juce::File>> getFolderRequests() const
    {
        const std::lock_guard<std::mutex> sl (lock);
        return folderRequests;
    }

    std::vector<AlertRequest> getAlerts() const
    {
        const std::lock_guard<std::mutex> sl (lock);
        return alerts;
    }

    std::vector<juce::String> getUrls() const
    {
        const std::lock_guard<std::mutex> sl (lock);
        return urls;
    }

    /** How many alerts were asked for on a thread other than the message thread. */
    int getAlertsOffMessageThread() const
    {
        const std::lock_guard<std::mutex> sl (lock);
        return alertsOffMessageThread;
    }

    void answerWith (std::function<int (const AlertRequest&)> newAnswerer)
    {
        const std::lock_guard<std::mutex> sl (lock);
        answerer = std::move (newAnswerer);
    }

private:
    mutable std::mutex lock;
    std::vector<AlertRequest> alerts;
    std::vector<juce::String> urls;
    std::function<int (const AlertRequest&)> answerer;
    int alertsOffMessageThread = 0;
    juce::File folderToPick;
    std::vector<std::pair<juce::String, juce::File>> folderRequests;
    juce::File fileToSave, fileToOpen;
    std::vector<std::pair<juce::String, juce::File>> fileRequests;
    juce::String menuEntryToChoose;
    std::vector<std::vector<MenuEntry>> menus;
    juce::String clipboard;

    JUCE_DECLARE_NON_COPYABLE (RecordingDesktop)
};
