#include "http/RequestReader.h"

#include <gtest/gtest.h>

namespace
{
    RequestReader::Limits limits()
    {
        RequestReader::Limits l;
        l.bodyLimit = [] (const std::string& method, const std::string&) -> std::optional<std::size_t>
        {
            return method == "POST" ? std::optional<std::size_t> (100) : std::nullopt;
        };
        return l;
    }

    std::string joined (const std::vector<std::string>& pieces)
    {
        std::string all;

        for (const auto& piece : pieces)
            all += piece;

        return all;
    }

    // Bytes arrive in pieces of any size: a header end, a chunk size or a
    // line end may be split anywhere.
    RequestReader::State feedInPieces (RequestReader& reader, const std::string& bytes, std::size_t piece)
    {
        auto state = reader.state();

        for (std::size_t at = 0; at < bytes.size() && state == RequestReader::State::reading; at += piece)
            state = reader.feed (std::string_view (bytes).substr (at, piece));

        return state;
    }

    TEST (RequestReader, ReframesAChunkedBodyWhateverThePieces)
    {
        const std::string request = "POST /f HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
                                    "Expect: 100-continue\r\n\r\n"
                                    "5;ext=1\r\nhello\r\n6\r\n world\r\n0\r\nTrailer: t\r\n\r\nGET / HTTP/1.1\r\n";

        for (const std::size_t piece : { 1u, 2u, 7u, 1000u })
        {
            RequestReader reader (limits());
            ASSERT_EQ (feedInPieces (reader, request, piece), RequestReader::State::complete) << piece;
            EXPECT_EQ (joined (reader.takeRequest()), "POST /f HTTP/1.1\r\nHost: h\r\nContent-Length: 11\r\n\r\nhello world") << piece;
        }
    }

    TEST (RequestReader, ReadsADeclaredLengthAndNoMore)
    {
        RequestReader reader (limits());
        ASSERT_EQ (feedInPieces (reader, "POST /f?x=1 HTTP/1.1\r\ncontent-length: 3\r\n\r\nabcdef", 4),
                   RequestReader::State::complete);
        EXPECT_EQ (reader.path(), "/f");
        EXPECT_EQ (joined (reader.takeRequest()), "POST /f?x=1 HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc");
    }

    TEST (RequestReader, RefusesAChunkedBodyAsSoonAsItPassesTheLimit)
    {
        RequestReader reader (limits());
        const std::string start = "POST /f HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n60\r\n" + std::string (0x60, 'a') + "\r\n";
        ASSERT_EQ (reader.feed (start), RequestReader::State::reading);
        EXPECT_EQ (reader.feed ("5\r\n"), RequestReader::State::refused);
        EXPECT_EQ (reader.refusalStatus(), 413);
        EXPECT_EQ (reader.bufferedBytes(), std::string ("POST /f HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n").size());
    }
}
