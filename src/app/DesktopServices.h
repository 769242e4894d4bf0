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

/** Everything an alert window shows. Closing it without a button gives 0. */
struct AlertRequest
{
    juce::String title;
    juce::String message;
    AlertIcon icon = AlertIcon::info;
    std::vector<AlertButton> buttons;

    /** The usual alert: one "OK" button, result 1, also pressed by Return. */
    static AlertRequest ok (const juce::String& title, const juce::String& message, AlertIcon icon);
};

/** What the user or the desktop sees: modal alerts and the web browser.

    The application installs an implementation built on JUCE's windows; tests
    install a recording fake, so that every dialog runs headless. Without any
    installed implementation alerts are dismissed at once (result 0) and no
    browser is opened.
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

    /** The installed implementation, or a silent one when none is installed. */
    static DesktopServices& get();

    /** Installs (or, with nullptr, removes) the implementation. Not owned. */
    static void install (DesktopServices* services);

    /** Installs an implementation for as long as it lives and then restores the previous one. */
    class ScopedInstall
    {
    public:
        explicit ScopedInstall (DesktopServices& services);
        ~ScopedInstall();

    private:
        DesktopServices* previous;

        JUCE_DECLARE_NON_COPYABLE (ScopedInstall)
    };
};

/** Shows an alert through the installed DesktopServices (message thread only). */
inline int showAlert (const AlertRequest& request)
{
    return DesktopServices::get().showAlert (request);
}

/** Shows an alert from a worker thread: hands it to the message thread and
    waits until the user has closed it. Gives up waiting, without showing
    anything if it has not been shown yet, as soon as stopWaiting answers true
    (for example a thread asked to exit, whose owner is blocked waiting for it).
    Returns the alert's result, or 0 when it gave up.
*/
int showAlertFromWorker (const AlertRequest& request, const std::function<bool()>& stopWaiting);
