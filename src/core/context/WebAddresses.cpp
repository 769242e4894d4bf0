#include "core/context/WebAddresses.h"

#include "BuildSettings.h"

namespace WebAddresses
{
juce::URL reportIssues()
{
    return juce::URL (juce::String (COBALTLINE_PRODUCT_SITE_URL).trimCharactersAtEnd ("/") + "/betareport");
}

juce::URL sponsorShop()
{
    return juce::URL (COBALTLINE_SPONSOR_URL);
}

juce::URL fromUntrustedAddress (const juce::String& text)
{
    if (! (text.startsWithIgnoreCase ("https://") || text.startsWithIgnoreCase ("http://")))
        return {};

    // The characters of RFC 3986 that mean nothing to a shell inside double
    // quotes; "%" stays, so that an address already encoded is not encoded twice.
    static const juce::String plain ("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                                     "-._~:/?#[]@!&'()*+,;=%");
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    juce::MemoryOutputStream out;

    for (auto* p = reinterpret_cast<const juce::uint8*> (text.toRawUTF8()); *p != 0; ++p)
    {
        if (*p < 128 && plain.containsChar ((juce::juce_wchar) *p))
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

    return juce::URL (out.toString());
}

juce::URL webSearch (const juce::String& text)
{
    return juce::URL ("https://www.google.com/search").withParameter ("q", text);
}
}
