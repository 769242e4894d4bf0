#include "service/ServiceRequests.h"

#include "service/HttpExchange.h"
#include "service/ServiceEndpoint.h"
#include "settings/SafeXml.h"

namespace ServiceRequests
{
namespace
{
    bool isUnreserved (juce::uint8 c) noexcept
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '_' || c == '-' || c == '.' || c == '*' || c == '!' || c == '\'' || c == '(' || c == ')';
    }
}

juce::String getActionName (AccountAction action)
{
    switch (action)
    {
        case AccountAction::registerPost:    return "registerpost";
        case AccountAction::forgotPassword:  return "forgotpassword";
        case AccountAction::resetPassword:   return "resetpassword";
        case AccountAction::viewProfile:     return "viewprofile";
        case AccountAction::editProfile:     return "editprofile";
    }

    return {};
}

juce::StringArray getFieldNames (AccountAction action)
{
    switch (action)
    {
        case AccountAction::registerPost:    return { "email", "password", "firstname", "lastname", "isdeveloper" };
        case AccountAction::forgotPassword:  return { "email" };
        case AccountAction::resetPassword:   return { "email", "password", "resetcode" };
        case AccountAction::viewProfile:     return { "email", "password" };
        case AccountAction::editProfile:     return { "oldemail", "email", "password", "firstname", "lastname",
                                                      "isdeveloper", "userid" };
    }

    return {};
}

Fields makeAccountFields (AccountAction action, const juce::StringArray& values)
{
    const auto names = getFieldNames (action);
    jassert (names.size() == values.size());

    Fields fields { { getActionName (action), "true" } };

    for (int i = 0; i < names.size(); ++i)
        fields.emplace_back (names[i], values[i]);

    return fields;
}

juce::String formEncode (const juce::String& text)
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    juce::MemoryOutputStream out;

    for (auto* p = reinterpret_cast<const juce::uint8*> (text.toRawUTF8()); *p != 0; ++p)
    {
        if (isUnreserved (*p))
        {
            out.writeByte ((char) *p);
        }
        else
        {
            out.writeByte ('%');
            out.writeByte (hexDigits[*p >> 4]);
            out.writeByte (hexDigits[*p & 15]);
        }
    }

    return out.toString();
}

juce::String encodeForm (const Fields& fields)
{
    juce::StringArray pairs;

    for (const auto& [name, value] : fields)
        pairs.add (formEncode (name) + "=" + formEncode (value));

    return pairs.joinIntoString ("&");
}

std::unique_ptr<juce::XmlElement> parseReply (const juce::MemoryBlock& body)
{
    if (body.isEmpty())
        return nullptr;

    return SafeXml::parse (juce::String::createStringFromData (body.getData(), (int) body.getSize()));
}

std::unique_ptr<juce::XmlElement> postForm (const juce::String& path, const Fields& fields, int timeoutMs)
{
    const auto url = ServiceEndpoint::makeUrl (path).withPOSTData (encodeForm (fields));

    HttpExchange::Options options;
    options.timeoutMs = timeoutMs;
    options.totalTimeoutMs = juce::jmax (timeoutMs, totalTimeoutMs);
    options.maxBodyBytes = maxReplyBytes;

    const auto result = HttpExchange::perform (url, true, "Content-Type: application/x-www-form-urlencoded", options);

    if (! result.connected || result.truncated)
        return nullptr;

    return parseReply (result.body);
}

std::unique_ptr<juce::XmlElement> sendAccountAction (AccountAction action, const juce::StringArray& values, int timeoutMs)
{
    return postForm (ServiceEndpoint::authenticationPath, makeAccountFields (action, values), timeoutMs);
}
}
