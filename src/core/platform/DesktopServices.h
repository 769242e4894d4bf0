#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <vector>

/** The icon of an alert window. */
enum class AlertIcon
{
    info,
    warning
};

/** A key that presses an alert's button besides a click. */
enum class AlertKey
{
    none,
    returnKey,
    escapeKey
};

struct AlertButton
{
    juce::String text;
    int result = 0;
    AlertKey key = AlertKey::none;
};

/** Everything an alert window shows, and how its keys answer. */
struct AlertRequest
{
    juce::String title;
    juce::String message;
    AlertIcon icon = AlertIcon::info;
    std::vector<AlertButton> buttons;

    /** Whether Escape closes the alert with 0 when no button is bound to
        Escape; when false and no button is, Escape does nothing.
    */
    bool escapeKeyCancels = true;

    /** The usual alert: one "OK" button, result 1, also pressed by Return;
        Escape closes it with 0.
    */
    static AlertRequest ok (const juce::String& title, const juce::String& message, AlertIcon icon);
};

/** A rectangle of the screen, in the desktop's logical pixels; empty when it
    has no width or height.
*/
struct ScreenArea
{
    int x = 0, y = 0, width = 0, height = 0;

    bool isEmpty() const noexcept   { return width <= 0 || height <= 0; }
};

/** One entry of a pop-up menu. */
struct MenuEntry
{
    int id = 0;             ///< what showMenu returns when it is chosen; never 0
    juce::String text;
    bool enabled = true;
};

/** What the user or the desktop sees: modal alerts, the web browser, the
    folder and file choosers, pop-up menus and the clipboard.

    The application owns one built on JUCE's windows and hands it to every
    window that shows something; tests hand in a recording fake, so that every
    dialog runs headless.
*/
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    /** Shows a modal alert and returns the result of the button that closed it
        (0 when it was closed otherwise). Call on the message thread only.
    */
    virtual int showAlert (const AlertRequest& request) = 0;

    /** Opens an address in the user's default browser; false when that failed. */
    virtual bool openUrl (const juce::URL& url) = 0;

    /** Lets the user pick a folder, starting at initialFolder; returns it, or
        juce::File() when the user cancelled. Runs modally; message thread only.
    */
    virtual juce::File chooseFolder (const juce::String& title, const juce::File& initialFolder) = 0;

    /** Lets the user name a file to write, starting at initialFile and offering
        the patterns ("*.cobaltline;*.csv;*.json"); returns it, or juce::File()
        when the user cancelled. Asks before an existing file is replaced.
        Runs modally; message thread only.
    */
    virtual juce::File chooseFileToSave (const juce::String& title, const juce::File& initialFile,
                                         const juce::String& patterns)
    {
        juce::ignoreUnused (title, initialFile, patterns);
        return {};
    }

    /** Lets the user pick an existing file, starting at initialFolder; returns
        it, or juce::File() when the user cancelled. Runs modally; message
        thread only.
    */
    virtual juce::File chooseFileToOpen (const juce::String& title, const juce::File& initialFolder,
                                         const juce::String& patterns)
    {
        juce::ignoreUnused (title, initialFolder, patterns);
        return {};
    }

    /** Shows a pop-up menu beside the given area of the screen (at the mouse
        when it is empty) and returns the id of the entry chosen, or 0 when it
        was dismissed. Runs modally; message thread only.
    */
    virtual int showMenu (const std::vector<MenuEntry>& entries, ScreenArea screenArea)
    {
        juce::ignoreUnused (entries, screenArea);
        return 0;
    }

    /** Puts text on the system clipboard. */
    virtual void copyToClipboard (const juce::String& text)   { juce::ignoreUnused (text); }
};

/** Shows an alert from a worker thread: hands it to the message thread and
    waits until the user has closed it. Gives up waiting, without showing
    anything if it has not been shown yet, as soon as stopWaiting answers true
    (for example a thread asked to exit, whose owner is blocked waiting for it).
    Returns the alert's result, or 0 when it gave up. The desktop must outlive
    the message thread's handling of the alert.
*/
int showAlertFromWorker (DesktopServices& desktop, const AlertRequest& request,
                         const std::function<bool()>& stopWaiting);
