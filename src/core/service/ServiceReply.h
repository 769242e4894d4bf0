#pragma once

#include "core/platform/DesktopServices.h"

#include <juce_core/juce_core.h>

/** What a service reply means to the account dialogs. */
enum class ReplyKind
{
    none,      // no XML element came back
    errors,    // root "Errors": the service refused the request
    success,   // root "Success": the service carried it out
    other      // any other root
};

struct ReplyOutcome
{
    ReplyKind kind = ReplyKind::none;
    juce::String title, text;
};

/** Classifies a reply by its root tag, ignoring letter case, "Errors" before
    "Success"; title and text come from ErrorTitle/ErrorText or
    SuccessTitle/SuccessText, whose names also match in any case (missing ones
    read as ""). nullptr gives ReplyKind::none.
*/
ReplyOutcome classifyReply (const juce::XmlElement* reply);

/** The value of the first attribute whose name matches without regard to case, or "". */
juce::String getAttributeIgnoringCase (const juce::XmlElement& element, const juce::String& name);

/** The alert that shows a reply as the service worded it: its title and text,
    the warning icon for a refusal and the information icon otherwise, and one
    "OK" button that Return also presses.
*/
AlertRequest makeReplyAlert (const ReplyOutcome& outcome);

/** The alert for a request that brought back no XML element (no answer, a
    time-out, a page that is not XML): the dialog stays open for another try.
*/
AlertRequest makeNoReplyAlert();
