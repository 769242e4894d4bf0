#pragma once

#include "LoopbackHttpServer.h"
#include "settings/SettingsStore.h"

/** Writes Profile.xml as the Profile page would, the password enciphered. */
inline void writeTestProfile (const SettingsStore& store, const juce::String& machineName,
                              const juce::String& email, const juce::String& password)
{
    juce::XmlElement profile ("CobaltlineProfile");
    profile.setAttribute ("MachineName", machineName);
    profile.setAttribute ("Email", email);
    profile.setAttribute ("Password", store.encipherPassword (password));
    SettingsStore::writeDocument (profile, store.getProfileFile());
}

/** A loopback service whose connection check page opens and whose every
    other path answers the given XML body.
*/
inline LoopbackHttpServer::Handler answeringScansWith (const juce::String& body)
{
    return [body] (const LoopbackHttpServer::Request& r)
    {
        if (r.path == "/checkconnect/index.html")
            return LoopbackHttpServer::Response::text ("<html/>", 200, "text/html");

        return LoopbackHttpServer::Response::text (body);
    };
}

/** A loopback service whose connection check page opens and which never answers anything else. */
inline LoopbackHttpServer::Handler neverAnsweringScans()
{
    return [] (const LoopbackHttpServer::Request& r)
    {
        if (r.path == "/checkconnect/index.html")
            return LoopbackHttpServer::Response::text ("<html/>", 200, "text/html");

        LoopbackHttpServer::Response silence;
        silence.neverAnswer = true;
        return silence;
    };
}
