#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <mutex>
#include <vector>

/** A tiny HTTP/1.1 server on 127.0.0.1 for tests: it records every request
    byte for byte and answers with whatever the handler returns, so that the
    application's requests can be checked exactly and its handling of odd
    replies (errors, garbage, silence) can be driven.
*/
class LoopbackHttpServer final : private juce::Thread
{
public:
    struct Request
    {
        juce::String method, path;
        juce::StringPairArray headers;   // names in lower case
        juce::MemoryBlock body;
        juce::MemoryBlock raw;           // the request exactly as received

        juce::String getHeader (const juce::String& name) const  { return headers[name.toLowerCase()]; }
        juce::String getBodyText() const                         { return body.toString(); }
    };

    struct Response
    {
        int status = 200;
        juce::String contentType = "text/xml";
        juce::String extraHeaders;   // further header lines, each ending in CR LF
        juce::MemoryBlock body;
        int delayMs = 0;          // wait this long before answering
        bool hangUp = false;      // close the connection without any answer
        bool neverAnswer = false; // keep the connection open and say nothing

        static Response text (const juce::String& body, int status = 200, const juce::String& type = "text/xml");
    };

    using Handler = std::function<Response (const Request&)>;

    explicit LoopbackHttpServer (Handler handler);
    ~LoopbackHttpServer() override;

    int getPort() const noexcept                { return port; }
    juce::String getBaseUrl() const             { return "http://127.0.0.1:" + juce::String (port); }

    std::vector<Request> getRequests() const;
    void setHandler (Handler newHandler);

    /** A loopback address on which nothing listens. */
    static juce::String getUnusedBaseUrl();

private:
    void run() override;
    void serve (juce::StreamingSocket& connection);

    juce::StreamingSocket listener;
    int port = 0;
    mutable std::mutex lock;
    Handler handler;
    std::vector<Request> requests;
    std::vector<std::unique_ptr<juce::StreamingSocket>> openConnections;

    JUCE_DECLARE_NON_COPYABLE (LoopbackHttpServer)
};
