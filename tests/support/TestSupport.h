#pragma once

// Helpers shared by the core and GUI test suites.

#include "core/context/AppContext.h"
#include "core/platform/Wine.h"

#include "LoopbackHttpServer.h"
#include "RecordingDesktop.h"

#include <unistd.h>

/*  Wine's WinINet neither gives up on a silent server at the time-out it was
    given nor lets another thread cancel a request in progress, so the tests
    of those two behaviours only mean something on Windows itself.
*/
#define SKIP_UNDER_WINE_WHERE_WININET_CANNOT_CANCEL() \
    if (isRunningUnderWine()) GTEST_SKIP() << "Wine's WinINet cannot cancel a request in progress"

/** A fresh folder under the system's temporary directory, deleted with its content. */
class TempFolder
{
public:
    TempFolder()
        : folder (uniqueFolder ("cobaltline-test-"))
    {
        folder.createDirectory();
    }

    /** A name no other test process picks, even when tests run in parallel. */
    static juce::File uniqueFolder (const juce::String& prefix)
    {
        return juce::File::getSpecialLocation (juce::File::tempDirectory)
            .getChildFile (prefix + juce::String ((int) getpid()) + "-"
                           + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));
    }

    ~TempFolder()   { folder.deleteRecursively(); }

    const juce::File& get() const noexcept                      { return folder; }
    juce::File operator[] (const juce::String& path) const      { return folder.getChildFile (path); }

private:
    juce::File folder;

    JUCE_DECLARE_NON_COPYABLE (TempFolder)
};

/** A file's bytes, exactly. */
inline juce::MemoryBlock readBytes (const juce::File& file)
{
    juce::MemoryBlock data;
    file.loadFileAsData (data);
    return data;
}

/** A file's bytes read as UTF-8 text, without any line-end conversion. */
inline juce::String readText (const juce::File& file)
{
    return readBytes (file).toString();
}

/** A clock that stands still at the time it is set to. */
class TestClock final : public Clock
{
public:
    juce::Time now() const override    { return time; }

    juce::Time time = juce::Time::getCurrentTime();
};

/** What the application hands its windows and jobs, for a test: a settings
    store on a fresh data folder ("data" in its own temporary folder), a
    service address (nothing listens on it unless the test points it at a
    server), a recording desktop and a test clock.
*/
class TestContext
{
public:
    TestContext() = default;

    explicit TestContext (const juce::String& serviceUrl)
        : service (serviceUrl)
    {
    }

    /** Points every request made from now on at another address. */
    void setServiceUrl (const juce::String& url)   { service = ServiceEndpoint (url); }

    AppContext get()                               { return { settings, service, desktop, clock, applicationVersion }; }
    const juce::File& dataFolder() const noexcept  { return settings.getDataFolder(); }

    TempFolder temp;
    SettingsStore settings { temp["data"] };
    ServiceEndpoint service { LoopbackHttpServer::getUnusedBaseUrl() };
    RecordingDesktop desktop;
    TestClock clock;
    juce::String applicationVersion = "1.0.4";

    JUCE_DECLARE_NON_COPYABLE (TestContext)
};

/** Writes Profile.xml as the Profile page would, the password enciphered. */
inline void writeTestProfile (const SettingsStore& store, const juce::String& machineName,
                              const juce::String& email, const juce::String& password)
{
    store.writeProfile ({ machineName, email, password });
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
