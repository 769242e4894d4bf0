#include "core/service/ServiceRequests.h"

#include "core/service/HttpExchange.h"
#include "core/xml/SafeXml.h"

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

    return SafeXml::parse (body.getData(), body.getSize());
}

std::unique_ptr<juce::XmlElement> postForm (const ServiceEndpoint& service, const juce::String& path,
                                            const Fields& fields, int timeoutMs, std::function<bool()> shouldAbort)
{
    const auto url = service.makeUrl (path).withPOSTData (encodeForm (fields));

    HttpExchange::Options options;
    options.timeoutMs = timeoutMs;
    options.totalTimeoutMs = juce::jmax (timeoutMs, totalTimeoutMs);
    options.maxBodyBytes = maxReplyBytes;
    options.shouldAbort = std::move (shouldAbort);

    const auto result = HttpExchange::perform (url, true, "Content-Type: application/x-www-form-urlencoded", options);

    if (! result.connected || result.truncated)
        return nullptr;

    return parseReply (result.body);
}
}
