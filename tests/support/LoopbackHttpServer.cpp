#include "LoopbackHttpServer.h"

namespace
{
    constexpr int socketTimeoutMs = 5000;

    juce::String statusText (int status)
    {
        switch (status)
        {
            case 200: return "OK";
            case 307: return "Temporary Redirect";
            case 404: return "Not Found";
            case 500: return "Internal Server Error";
            default:  return "Status";
        }
    }

    /** Writes everything (a socket may take a large buffer only in parts); false when the peer went away. */
    bool writeAll (juce::StreamingSocket& socket, const void* data, size_t size)
    {
        auto* bytes = static_cast<const char*> (data);

        while (size > 0)
        {
            if (socket.waitUntilReady (false, socketTimeoutMs) != 1)
                return false;

            const auto n = socket.write (bytes, (int) juce::jmin (size, (size_t) 65536));

            if (n <= 0)
                return false;

            bytes += n;
            size -= (size_t) n;
        }

        return true;
    }

    /** Reads until the end of the header block; false when the peer went away first. */
    bool readHeaderBlock (juce::StreamingSocket& socket, juce::MemoryBlock& raw, size_t& headerEnd)
    {
        char buffer[4096];

        for (;;)
        {
            const auto text = juce::String::fromUTF8 (static_cast<const char*> (raw.getData()), (int) raw.getSize());
            const auto end = text.indexOf ("\r\n\r\n");

            if (end >= 0)
            {
                headerEnd = (size_t) juce::String (text.substring (0, end)).getNumBytesAsUTF8() + 4;
                return true;
            }

            if (socket.waitUntilReady (true, socketTimeoutMs) != 1)
                return false;

            const auto n = socket.read (buffer, (int) sizeof (buffer), false);

            if (n <= 0)
                return false;

            raw.append (buffer, (size_t) n);
        }
    }
}

LoopbackHttpServer::Response LoopbackHttpServer::Response::text (const juce::String& body, int status, const juce::String& type)
{
    Response r;
    r.status = status;
    r.contentType = type;
    r.body.append (body.toRawUTF8(), body.getNumBytesAsUTF8());
    return r;
}

LoopbackHttpServer::LoopbackHttpServer (Handler h)
    : juce::Thread ("LoopbackHttpServer"), handler (std::move (h))
{
    if (! listener.createListener (0, "127.0.0.1"))
        throw std::runtime_error ("cannot listen on loopback");

    port = listener.getBoundPort();
    startThread();
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    signalThreadShouldExit();
    listener.close();

    {
        const std::lock_guard<std::mutex> sl (lock);

        for (auto& c : openConnections)
            c->close();
    }

    stopThread (5000);
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::getRequests() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return requests;
}

void LoopbackHttpServer::setHandler (Handler newHandler)
{
    const std::lock_guard<std::mutex> sl (lock);
    handler = std::move (newHandler);
}

juce::String LoopbackHttpServer::getUnusedBaseUrl()
{
    juce::StreamingSocket probe;
    probe.createListener (0, "127.0.0.1");
    const auto unused = probe.getBoundPort();
    probe.close();
    return "http://127.0.0.1:" + juce::String (unused);
}

void LoopbackHttpServer::run()
{
    while (! threadShouldExit())
    {
        std::unique_ptr<juce::StreamingSocket> connection (listener.waitForNextConnection());

        if (connection == nullptr)
            continue;

        serve (*connection);

        const std::lock_guard<std::mutex> sl (lock);
        openConnections.push_back (std::move (connection));   // closed with the server
    }
}

void LoopbackHttpServer::serve (juce::StreamingSocket& socket)
{
    Request request;
    size_t headerEnd = 0;

    if (! readHeaderBlock (socket, request.raw, headerEnd))
        return;

    const auto headerText = juce::String::fromUTF8 (static_cast<const char*> (request.raw.getData()), (int) headerEnd);
    auto lines = juce::StringArray::fromLines (headerText.trimEnd());
    auto requestLine = juce::StringArray::fromTokens (lines[0], " ", {});
    request.method = requestLine[0];
    request.path = requestLine[1];

    for (int i = 1; i < lines.size(); ++i)
        request.headers.set (lines[i].upToFirstOccurrenceOf (":", false, false).trim().toLowerCase(),
                             lines[i].fromFirstOccurrenceOf (":", false, false).trim());

    if (request.getHeader ("expect").equalsIgnoreCase ("100-continue"))
        writeAll (socket, "HTTP/1.1 100 Continue\r\n\r\n", 25);

    const auto contentLength = (size_t) request.getHeader ("content-length").getLargeIntValue();
    char buffer[8192];

    while (request.raw.getSize() - headerEnd < contentLength)
    {
        if (socket.waitUntilReady (true, socketTimeoutMs) != 1)
            break;

        const auto n = socket.read (buffer, (int) sizeof (buffer), false);

        if (n <= 0)
            break;

        request.raw.append (buffer, (size_t) n);
    }

    request.body.append (static_cast<const char*> (request.raw.getData()) + headerEnd,
                         request.raw.getSize() - headerEnd);

    Handler currentHandler;

    {
        const std::lock_guard<std::mutex> sl (lock);
        requests.push_back (request);
        currentHandler = handler;
    }

    const auto response = currentHandler (request);

    if (response.hangUp)
        socket.close();

    if (response.neverAnswer || response.hangUp)
        return;

    if (response.delayMs > 0)
        wait (response.delayMs);

    const auto head = "HTTP/1.1 " + juce::String (response.status) + " " + statusText (response.status) + "\r\n"
                    + "Content-Type: " + response.contentType + "\r\n"
                    + "Content-Length: " + juce::String ((juce::int64) response.body.getSize()) + "\r\n"
                    + response.extraHeaders
                    + "Connection: close\r\n\r\n";

    if (writeAll (socket, head.toRawUTF8(), head.getNumBytesAsUTF8()) && ! response.body.isEmpty())
        writeAll (socket, response.body.getData(), response.body.getSize());
}
