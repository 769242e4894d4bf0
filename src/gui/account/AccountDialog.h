#pragma once

#include "core/context/AppContext.h"
#include "core/service/AccountRequests.h"
#include "core/service/ServiceReply.h"
#include "gui/desktop/ComponentTask.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** What the account dialogs share: sending a request, the reply alerts, and
    closing before the success alert. Message thread only.
*/
namespace AccountDialog
{
    /** Sends the request on the dialog's worker, the dialog waiting meanwhile
        (bounded by the request's time-outs), and hands the reply to withReply
        once it is there, if the dialog still exists. Nothing is shown here.
    */
    void send (ComponentTask& task, const AppContext& context, const AccountRequest& request,
               std::function<void (const AccountReply&)> withReply);

    /** What the reply means. A refusal is shown in the service's words with
        the warning icon, and no reply at all with a short message of ours, so
        the dialog stays usable; a success and any other root are left to the
        caller.
    */
    ReplyOutcome readReply (const AccountReply& reply, DesktopServices& desktop);

    /** Writes the profile after the service accepted a change. A file that
        cannot be written is told to the user (the service has the change, the
        program does not); false then.
    */
    bool storeProfile (const AppContext& context, const Profile& profile);

    /** Closes the dialog's window with the result and shows the alert once the
        window (and the dialog with it) is gone.
    */
    void closeThenShow (juce::Component& dialog, int result, DesktopServices& desktop, const AlertRequest& alert);

    /** The black band with the header image that heads the first-run splash
        and the sign-up dialog.
    */
    void paintHeader (juce::Graphics& g, const juce::Image& header);

    /** The header image. */
    juce::Image headerImage();

    /** The text of the password fields' tooltip in sign-up and reset. */
    inline constexpr const char* passwordTooltip = "Enter a secure password (containing 8 or more characters with at "
                                                   "least one of each: upper and lower case letters, numbers, and symbols.)";
}
