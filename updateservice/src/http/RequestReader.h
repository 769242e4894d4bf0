#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/**
    Gathers one HTTP/1.x request from the bytes of a connection as they
    arrive, and decides as early as it can whether the request may be
    served, so that nothing is buffered beyond the limits:

    - the request line and the header section are bounded in size and in
      the number of header lines;
    - the framing must be unambiguous: at most one Content-Length, made of
      digits only; never Content-Length together with Transfer-Encoding;
      no transfer coding but "chunked"; no folded header lines;
    - the method and path decide the largest body (BodyLimit); a method
      the service does not serve is refused, and so is a declared length
      above the limit before any of the body is read; a chunked body is
      decoded as it arrives and refused as soon as it passes the limit;
    - a POST must declare its length or be chunked.

    A complete request is handed on in one framing only: request line,
    header lines (Transfer-Encoding and Content-Length dropped) and one
    Content-Length for the body as it was decoded.

    Not thread-safe; one reader per request.
*/
class RequestReader
{
public:
    /** The largest body accepted for a method and path, or nothing when
        the service does not serve the method at all. */
    using BodyLimit = std::function<std::optional<std::size_t> (const std::string& method, const std::string& path)>;

    struct Limits
    {
        std::size_t maxRequestLineBytes = 8u * 1024u;
        std::size_t maxHeaderLines = 64;
        std::size_t maxHeaderBytes = 16u * 1024u;   ///< request line and header lines together
        BodyLimit bodyLimit;
    };

    enum class State
    {
        reading,    ///< more bytes are needed
        complete,   ///< request() holds the whole request
        refused     ///< refusalStatus() says why; the connection must be closed
    };

    explicit RequestReader (Limits limits);

    /** Takes bytes as they come from the connection. Bytes after the end
        of a complete request are ignored: every connection serves one
        request. */
    State feed (std::string_view bytes);

    State state() const noexcept { return current; }

    /** The status to answer a refusal with (400, 405, 411, 413, 414, 431
        or 501), and a short reason a client may read. */
    int refusalStatus() const noexcept { return status; }
    const std::string& refusalReason() const noexcept { return reason; }

    /** Known once the header section is complete. */
    bool hasHeaders() const noexcept { return headersDone; }
    const std::string& method() const noexcept { return requestMethod; }
    const std::string& path() const noexcept { return requestPath; }

    /** The value of the first header with this name (any letter case),
        or nothing. */
    std::optional<std::string> header (std::string_view name) const;

    /** The first bytes of the body decoded so far (the whole of it up to
        a MiB), its size, and the declared length (nothing for a chunked
        body). */
    std::string_view bodyStart() const noexcept { return blocks.empty() ? std::string_view {} : blocks.front(); }
    std::size_t bodyReceived() const noexcept { return bodySize; }
    std::optional<std::size_t> declaredLength() const noexcept { return contentLength; }

    /** The bytes held: the header section and the body so far. */
    std::size_t bufferedBytes() const noexcept { return head.size() + bodySize; }

    /** The complete request in Content-Length framing, as the header
        section followed by the body in pieces of at most a MiB; call once,
        when state() is complete. */
    std::vector<std::string> takeRequest();

private:
    State refuse (int statusCode, std::string why);
    State parseHead();
    State readBody (std::string_view& bytes);
    State readChunked (std::string_view& bytes);
    void appendBody (std::string_view bytes);

    const Limits limits;
    State current = State::reading;
    int status = 0;
    std::string reason;

    std::string head;                 ///< the header section as received
    std::size_t scanned = 0;          ///< how far head has been searched for its end
    std::size_t lines = 0;
    bool headersDone = false;

    std::string requestMethod, requestPath, requestLine;
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::size_t> contentLength;
    std::size_t bodyLimit = 0;
    std::vector<std::string> blocks;
    std::size_t bodySize = 0;

    // Chunked decoding.
    bool chunked = false;
    enum class ChunkPart { size, data, dataEnd, trailer } chunkPart = ChunkPart::size;
    std::string chunkLine;
    std::size_t chunkLeft = 0;
    std::size_t trailerBytes = 0;
};
