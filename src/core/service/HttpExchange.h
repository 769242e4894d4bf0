#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/** One HTTP exchange with the update service, bounded in time and size.

    JUCE's URL streams read without any limit and cannot be interrupted from
    the waiting thread; this runs the request on a WebInputStream that a small
    watchdog cancels as soon as shouldAbort answers true, and stops reading the
    body at maxBodyBytes.
*/
namespace HttpExchange
{
    struct Options
    {
        /** Connection time-out; the transfer is also abandoned when it stalls this long. */
        int timeoutMs = 30000;
        /** The whole exchange is abandoned after this long, however it is going. */
        int totalTimeoutMs = 120000;
        size_t maxBodyBytes = 1024 * 1024;
        /** Polled from a watchdog thread while the request runs; may be empty. */
        std::function<bool()> shouldAbort;
    };

    struct Result
    {
        bool connected = false;   // a reply (of any status) came back
        int status = 0;
        juce::MemoryBlock body;
        bool truncated = false;   // the body was longer than maxBodyBytes
    };

    /** Sends the request: a POST of the URL's POST data or uploads when post is
        true, a GET otherwise. A POST never follows a redirect, so that its
        body (which may hold a password) goes nowhere but to the address given.
        Blocks the calling thread (any thread).
    */
    Result perform (const juce::URL& url, bool post, const juce::String& extraHeaders, const Options& options);
}
