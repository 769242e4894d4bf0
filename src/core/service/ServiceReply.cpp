#include "core/service/ServiceReply.h"

juce::String getAttributeIgnoringCase (const juce::XmlElement& element, const juce::String& name)
{
    for (int i = 0; i < element.getNumAttributes(); ++i)
        if (element.getAttributeName (i).equalsIgnoreCase (name))
            return element.getAttributeValue (i);

    return {};
}

ReplyOutcome classifyReply (const juce::XmlElement* reply)
{
    if (reply == nullptr)
        return {};

    const auto& tag = reply->getTagName();

    if (tag.equalsIgnoreCase ("Errors"))
        return { ReplyKind::errors, getAttributeIgnoringCase (*reply, "ErrorTitle"),
                 getAttributeIgnoringCase (*reply, "ErrorText") };

    if (tag.equalsIgnoreCase ("Success"))
        return { ReplyKind::success, getAttributeIgnoringCase (*reply, "SuccessTitle"),
                 getAttributeIgnoringCase (*reply, "SuccessText") };

    return { ReplyKind::other, {}, {} };
}

AlertRequest makeReplyAlert (const ReplyOutcome& outcome)
{
    return AlertRequest::ok (outcome.title, outcome.text,
                             outcome.kind == ReplyKind::errors ? AlertIcon::warning : AlertIcon::info);
}

AlertRequest makeNoReplyAlert()
{
    return AlertRequest::ok ("No Answer from the Service",
                             "Cobaltline did not receive an answer from its service. Please try again in a moment.",
                             AlertIcon::warning);
}
