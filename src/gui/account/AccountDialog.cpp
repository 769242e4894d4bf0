#include "gui/account/AccountDialog.h"

#include "gui/desktop/Dialogs.h"

#include "CobaltlineArt.h"

namespace AccountDialog
{
void send (ComponentTask& task, const AppContext& context, const AccountRequest& request,
           std::function<void (const AccountReply&)> withReply)
{
    task.start<AccountReply> ([service = context.service, request] (const BackgroundTask::ShouldAbort& shouldAbort)
                              {
                                  const auto root = AccountRequests::send (service, request,
                                                                           ServiceRequests::defaultTimeoutMs, shouldAbort);
                                  return AccountRequests::readReply (root.get());
                              },
                              [withReply = std::move (withReply)] (AccountReply reply) { withReply (reply); });
}

ReplyOutcome readReply (const AccountReply& reply, DesktopServices& desktop)
{
    const auto& outcome = reply.outcome;

    if (outcome.kind == ReplyKind::errors)
        desktop.showAlert (makeReplyAlert (outcome));
    else if (outcome.kind == ReplyKind::none)
        desktop.showAlert (makeNoReplyAlert());

    return outcome;
}

bool storeProfile (const AppContext& context, const Profile& profile)
{
    if (context.settings.writeProfile (profile))
        return true;

    const auto file = context.settings.getProfileFile();

    context.desktop.showAlert (AlertRequest::ok ("Profile Not Saved",
                                                 "The service has your change, but Cobaltline could not write "
                                                     + file.getFullPathName() + ". Please enter your e-mail address, "
                                                     "password and machine name on the Profile page of the Preferences.",
                                                 AlertIcon::warning));
    return false;
}

void closeThenShow (juce::Component& dialog, int result, DesktopServices& desktop, const AlertRequest& alert)
{
    if (auto* window = Dialogs::findWindowOf (dialog))
        window->exitModalState (result);

    // The window is deleted by a message already posted; this one comes after it.
    juce::MessageManager::callAsync ([&desktop, alert] { desktop.showAlert (alert); });
}

void paintHeader (juce::Graphics& g, const juce::Image& header)
{
    g.setColour (juce::Colours::black);
    g.fillRect (0, 0, 477, 70);
    g.drawImageWithin (header, 10, 7, 457, 57, juce::RectanglePlacement::centred);
}

juce::Image headerImage()
{
    return juce::ImageCache::getFromMemory (CobaltlineArt::header_png, CobaltlineArt::header_pngSize);
}
}
