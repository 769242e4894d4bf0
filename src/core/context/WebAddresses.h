#pragma once

#include <juce_core/juce_core.h>

/** The web pages the program opens in the user's browser, all in one place.
    The product site and the sponsor's shop are build-time settings (by
    default on the update service's host); the search page is a public one.
*/
namespace WebAddresses
{
    /** The product site's page for reporting problems ("/betareport"). */
    juce::URL reportIssues();

    /** The sponsor's shop, behind the main window's banner. */
    juce::URL sponsorShop();

    /** A public web search for the text (the query parameter "q"). */
    juce::URL webSearch (const juce::String& text);

    /** An address from outside the program (a plug-in's web site or a
        download page named by the service), made safe to hand to the desktop:
        only http:// and https:// addresses are taken (another scheme could
        open a local file or start a program), and every byte that is not
        plainly part of a URL (spaces, quotes, "$", "`", "\\", control and
        non-ASCII characters among them) is percent-encoded, because the
        desktop may pass the address through a shell. Gives an empty URL for
        anything else.
    */
    juce::URL fromUntrustedAddress (const juce::String& text);

    /** The text of the sponsor banner's tooltip: the shop and its offer. */
    inline constexpr const char* sponsorTooltip = "Harbor Audio Supply: 10% off plug-in bundles for Cobaltline users";
}
