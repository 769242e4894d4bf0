#include "http/RequestReader.h"

#include <algorithm>

namespace
{
    constexpr std::size_t maxChunkLineBytes = 1024;

    bool isTokenChar (char c) noexcept
    {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            return true;

        switch (c)
        {
            case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
            case '-': case '.': case '^': case '_': case '`': case '|': case '~':
                return true;
            default:
                return false;
        }
    }

    bool isToken (std::string_view text) noexcept
    {
        return ! text.empty() && std::all_of (text.begin(), text.end(), isTokenChar);
    }

    // Control characters other than a tab have no place in a request line
    // or a header line (a NUL could cut a value short further on).
    bool hasControlCharacter (std::string_view text) noexcept
    {
        return std::any_of (text.begin(), text.end(), [] (char c)
        {
            const auto u = static_cast<unsigned char> (c);
            return (u < 0x20 && u != '\t') || u == 0x7f;
        });
    }

    std::string_view trimmed (std::string_view text) noexcept
    {
        while (! text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix (1);

        while (! text.empty() && (text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix (1);

        return text;
    }

    std::string asciiLower (std::string_view text)
    {
        std::string lower (text);

        for (auto& c : lower)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char> (c - 'A' + 'a');

        return lower;
    }

    // A line without its CR LF (or bare LF).
    std::string_view withoutLineEnd (std::string_view line) noexcept
    {
        if (! line.empty() && line.back() == '\n')
            line.remove_suffix (1);

        if (! line.empty() && line.back() == '\r')
            line.remove_suffix (1);

        return line;
    }

    int hexDigit (char c) noexcept
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
}

RequestReader::RequestReader (Limits readerLimits)
    : limits (std::move (readerLimits))
{
}

RequestReader::State RequestReader::refuse (int statusCode, std::string why)
{
    status = statusCode;
    reason = std::move (why);
    current = State::refused;
    blocks.clear();
    blocks.shrink_to_fit();
    bodySize = 0;
    return current;
}

// The body is kept in blocks of at most a MiB, so that it is handed on
// without a second copy. A declared length sizes each block at once; a
// chunked body starts small and grows, so that a stalled client holds no
// more memory than it has sent.
void RequestReader::appendBody (std::string_view bytes)
{
    constexpr std::size_t blockBytes = 1u << 20;
    constexpr std::size_t firstChunkedBytes = 64u * 1024u;

    while (! bytes.empty())
    {
        if (blocks.empty() || blocks.back().size() == blockBytes)
        {
            blocks.emplace_back();
            const auto expected = contentLength.has_value() ? *contentLength - bodySize : firstChunkedBytes;
            blocks.back().reserve (std::min (blockBytes, std::max (expected, bytes.size())));
        }

        auto& block = blocks.back();
        const auto take = std::min (bytes.size(), blockBytes - block.size());
        block.append (bytes.substr (0, take));
        bytes.remove_prefix (take);
        bodySize += take;
    }
}

std::optional<std::string> RequestReader::header (std::string_view name) const
{
    const auto wanted = asciiLower (name);

    for (const auto& [headerName, value] : headers)
        if (asciiLower (headerName) == wanted)
            return value;

    return std::nullopt;
}

RequestReader::State RequestReader::feed (std::string_view bytes)
{
    if (current != State::reading)
        return current;

    if (! headersDone)
    {
        // Only as much is taken as the header section may hold; the end of
        // the section is searched for line by line.
        const auto before = head.size();
        head.append (bytes.substr (0, limits.maxHeaderBytes + 2 - before));

        for (auto end = head.find ('\n', scanned); end != std::string::npos; end = head.find ('\n', scanned))
        {
            const auto line = withoutLineEnd (std::string_view (head).substr (scanned, end + 1 - scanned));
            scanned = end + 1;

            if (lines == 0 && line.size() > limits.maxRequestLineBytes)
                return refuse (414, "The request line is too long.");

            if (line.empty() && lines > 0)
            {
                // The header section ends here; the rest is body.
                bytes.remove_prefix (end + 1 - before);
                head.resize (end + 1);

                if (parseHead() != State::reading)
                    return current;

                break;
            }

            if (++lines > limits.maxHeaderLines + 1)
                return refuse (431, "The request has too many header lines.");
        }

        if (! headersDone)
        {
            if (lines == 0 && head.size() > limits.maxRequestLineBytes)
                return refuse (414, "The request line is too long.");

            if (head.size() > limits.maxHeaderBytes)
                return refuse (431, "The request headers are too large.");

            return current;
        }
    }

    return chunked ? readChunked (bytes) : readBody (bytes);
}

RequestReader::State RequestReader::parseHead()
{
    headersDone = true;

    std::vector<std::string_view> rawLines;

    for (std::size_t start = 0; start < head.size();)
    {
        const auto end = head.find ('\n', start);
        const auto line = withoutLineEnd (std::string_view (head).substr (start, end + 1 - start));
        start = end + 1;

        if (! line.empty())
            rawLines.push_back (line);
    }

    if (rawLines.empty() || hasControlCharacter (rawLines.front()))
        return refuse (400, "The request line cannot be read.");

    // METHOD SP request-target SP HTTP-version
    const auto line = rawLines.front();
    const auto firstSpace = line.find (' ');
    const auto lastSpace = line.rfind (' ');

    if (firstSpace == std::string_view::npos || firstSpace == lastSpace)
        return refuse (400, "The request line cannot be read.");

    const auto method = line.substr (0, firstSpace);
    const auto target = line.substr (firstSpace + 1, lastSpace - firstSpace - 1);
    const auto version = line.substr (lastSpace + 1);

    if (! isToken (method) || target.empty() || target.front() != '/' || target.find (' ') != std::string_view::npos)
        return refuse (400, "The request line cannot be read.");

    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return refuse (505, "Only HTTP/1.0 and HTTP/1.1 are served.");

    requestLine = std::string (line);
    requestMethod = std::string (method);
    requestPath = std::string (target.substr (0, target.find ('?')));

    std::size_t lengthHeaders = 0;
    std::string transferCodings;

    for (std::size_t i = 1; i < rawLines.size(); ++i)
    {
        const auto headerLine = rawLines[i];
        const auto colon = headerLine.find (':');

        // A line that starts with white space would continue the previous
        // one (obsolete folding), which readers disagree about.
        if (colon == std::string_view::npos || ! isToken (headerLine.substr (0, colon))
            || hasControlCharacter (headerLine))
            return refuse (400, "A request header cannot be read.");

        const auto name = std::string (headerLine.substr (0, colon));
        const auto value = std::string (trimmed (headerLine.substr (colon + 1)));
        const auto key = asciiLower (name);

        if (key == "content-length")
        {
            if (++lengthHeaders > 1)
                return refuse (400, "The request declares its length more than once.");

            if (value.empty() || value.size() > 18
                || ! std::all_of (value.begin(), value.end(), [] (char c) { return c >= '0' && c <= '9'; }))
                return refuse (400, "The declared length is not a number.");

            contentLength = static_cast<std::size_t> (std::stoull (value));
        }
        else if (key == "transfer-encoding")
        {
            transferCodings += (transferCodings.empty() ? "" : ",") + asciiLower (value);
        }

        headers.emplace_back (name, value);
    }

    if (! transferCodings.empty())
    {
        if (contentLength.has_value())
            return refuse (400, "The request declares both a length and a transfer coding.");

        if (trimmed (transferCodings) != "chunked")
            return refuse (501, "No transfer coding but chunked is accepted.");

        chunked = true;
    }

    const auto limit = limits.bodyLimit ? limits.bodyLimit (requestMethod, requestPath) : std::optional<std::size_t> {};

    if (! limit.has_value())
        return refuse (405, "The service does not accept this method.");

    bodyLimit = *limit;

    if (contentLength.has_value() && *contentLength > bodyLimit)
        return refuse (413, "The request is larger than the service accepts ("
                            + std::to_string (bodyLimit / 1024) + " KiB).");

    if (! chunked && ! contentLength.has_value())
    {
        if (requestMethod == "POST")
            return refuse (411, "The request must declare its length (Content-Length).");

        contentLength = 0;
    }

    if (contentLength == std::optional<std::size_t> (0))
        current = State::complete;

    return current;
}

RequestReader::State RequestReader::readBody (std::string_view& bytes)
{
    appendBody (bytes.substr (0, *contentLength - bodySize));

    if (bodySize == *contentLength)
        current = State::complete;

    return current;
}

RequestReader::State RequestReader::readChunked (std::string_view& bytes)
{
    while (! bytes.empty() && current == State::reading)
    {
        if (chunkPart == ChunkPart::data)
        {
            const auto take = std::min (chunkLeft, bytes.size());
            appendBody (bytes.substr (0, take));
            bytes.remove_prefix (take);
            chunkLeft -= take;

            if (chunkLeft == 0)
                chunkPart = ChunkPart::dataEnd;

            continue;
        }

        // Size lines, the line end after each chunk and trailer lines are
        // gathered whole, up to a small limit.
        const auto newline = bytes.find ('\n');
        const auto piece = bytes.substr (0, newline == std::string_view::npos ? bytes.size() : newline + 1);
        chunkLine.append (piece);
        bytes.remove_prefix (piece.size());

        if (chunkLine.size() > maxChunkLineBytes)
            return refuse (chunkPart == ChunkPart::trailer ? 431 : 400, "A chunk line is too long.");

        if (newline == std::string_view::npos)
            break;

        const auto line = std::string (withoutLineEnd (chunkLine));
        chunkLine.clear();

        switch (chunkPart)
        {
            case ChunkPart::size:
            {
                const auto digits = trimmed (std::string_view (line).substr (0, line.find (';')));

                if (digits.empty() || digits.size() > 15)
                    return refuse (400, "A chunk size cannot be read.");

                std::size_t size = 0;

                for (const auto c : digits)
                {
                    const auto digit = hexDigit (c);

                    if (digit < 0)
                        return refuse (400, "A chunk size cannot be read.");

                    size = size * 16 + static_cast<std::size_t> (digit);
                }

                if (size > bodyLimit - bodySize)
                    return refuse (413, "The request is larger than the service accepts ("
                                        + std::to_string (bodyLimit / 1024) + " KiB).");

                chunkLeft = size;
                chunkPart = size == 0 ? ChunkPart::trailer : ChunkPart::data;
                break;
            }

            case ChunkPart::dataEnd:
                if (! line.empty())
                    return refuse (400, "A chunk does not end where its size says.");

                chunkPart = ChunkPart::size;
                break;

            case ChunkPart::trailer:
                if (line.empty())
                {
                    current = State::complete;
                    break;
                }

                // Trailer fields are read and dropped; they count against
                // the header limits.
                trailerBytes += line.size();

                if (++lines > limits.maxHeaderLines + 1 || head.size() + trailerBytes > limits.maxHeaderBytes)
                    return refuse (431, "The request headers are too large.");

                break;

            case ChunkPart::data:
                break;
        }
    }

    return current;
}

std::vector<std::string> RequestReader::takeRequest()
{
    std::string request = requestLine + "\r\n";

    for (const auto& [name, value] : headers)
    {
        const auto key = asciiLower (name);

        // The body is passed on whole, in one framing; an expectation of
        // "100 Continue" has been answered already.
        if (key != "content-length" && key != "transfer-encoding" && key != "expect")
            request += name + ": " + value + "\r\n";
    }

    request += "Content-Length: " + std::to_string (bodySize) + "\r\n\r\n";

    std::vector<std::string> pieces;
    pieces.reserve (blocks.size() + 1);
    pieces.push_back (std::move (request));

    for (auto& block : blocks)
        pieces.push_back (std::move (block));

    blocks.clear();
    bodySize = 0;
    return pieces;
}
