#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "http-response-reader.h"

namespace ozra {
namespace {

using State = CHttpResponseReader::State;
// State, bytes used, status, keep-alive.
using Outcome = std::tuple<State, std::size_t, unsigned, bool>;

// Feeds text cut at the given positions until a piece is not used up, then ends the connection if asked.
Outcome FeedPieces(const std::string& text, const std::vector<std::size_t>& cuts, bool end) {
    CHttpResponseReader reader;
    std::size_t used = 0;
    for (std::size_t piece = 0; piece <= cuts.size(); ++piece) {
        const std::size_t to = piece < cuts.size() ? cuts[piece] : text.size();
        const std::size_t taken = reader.Feed(text.data() + used, to - used);
        used += taken;
        if (used < to) {
            break;
        }
    }
    if (end) {
        reader.FeedEnd();
    }
    if (reader.GetState() != State::Reading) {
        EXPECT_EQ(reader.Feed("H", 1), 0u);
    }
    return {reader.GetState(), used, reader.Status(), reader.KeepAlive()};
}

std::vector<std::size_t> EveryByte(std::size_t size) {
    std::vector<std::size_t> cuts;
    for (std::size_t cut = 1; cut < size; ++cut) {
        cuts.push_back(cut);
    }
    return cuts;
}

// Feeds text whole, byte by byte and split in two at every position; all must agree.
Outcome FeedAllWays(const std::string& text, bool end) {
    const Outcome whole = FeedPieces(text, {}, end);
    EXPECT_EQ(FeedPieces(text, EveryByte(text.size()), end), whole) << "byte by byte";
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        EXPECT_EQ(FeedPieces(text, {cut}, end), whole) << "split at " << cut;
    }
    return whole;
}

TEST(HttpResponseReaderTest, ReadsOneResponseAndStopsAtItsEnd) {
    struct Case {
        const char* name;
        std::string response;
        std::string next;  // bytes of whatever follows, which must stay unused
        bool end;
        State state;
        unsigned status;
        bool keepAlive;
    };
    const std::string next = "HTTP/1.1 200 OK\r\n";
    const std::vector<Case> cases = {
        {"content-length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", next, false, State::Complete,
         200, true},
        {"equal content-lengths",
         "HTTP/1.1 201 Created\r\ncontent-LENGTH:\t 3 \r\nContent-Length: 3 , 3\r\n\r\nabc", next, false,
         State::Complete, 201, true},
        {"no reason, no body", "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", next, false, State::Complete, 200,
         true},
        {"empty reason, bare LF", "HTTP/1.1 404 \nContent-Length: 2\n\nno", next, false, State::Complete, 404,
         true},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;name=\"v\"\r\n0\r\n\r\n\r\na ; "
         "x\r\n0123456789\r\n"
         "1F\r\n" +
             std::string(31, 'c') + "\r\n0\r\nExpires: never\r\nX-Sum: 1\r\n\r\n",
         next, false, State::Complete, 200, true},
        {"chunked last, bare LF",
         "HTTP/1.1 200 OK\nTransfer-Encoding: gzip\nTRANSFER-ENCODING: Chunked\n\n3\nabc\n0\n\n", next, false,
         State::Complete, 200, true},
        {"interim",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nContent-Length: 4\r\n\r\n"
         "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n",
         next, false, State::Complete, 201, true},
        {"204", "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n", next, false, State::Complete, 204,
         true},
        {"304", "HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\nConnection: close\r\n\r\n", "0123456789",
         false, State::Complete, 304, false},
        {"until close, ended", "HTTP/1.1 200 OK\r\n\r\nbody\r\n\r\nmore", "", true, State::Complete, 200,
         false},
        {"until close, open", "HTTP/1.1 200 OK\r\n\r\nbody\r\n\r\nmore", "", false, State::Reading, 200,
         false},
        {"not chunked last",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\nContent-Length: 2\r\n\r\nabcdef", "", true,
         State::Complete, 200, false},
        {"1.1 close", "HTTP/1.1 200 OK\r\nConnection: Keep-Alive, CLOSE\r\nContent-Length: 0\r\n\r\n", next,
         false, State::Complete, 200, false},
        {"1.1 close token", "HTTP/1.1 200 OK\r\nConnection: closed, x-close\r\nContent-Length: 0\r\n\r\n",
         next, false, State::Complete, 200, true},
        {"1.0", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", next, false, State::Complete, 200, false},
        {"1.0 keep-alive", "HTTP/1.0 200 OK\r\nconnection: foo,keep-alive\r\nContent-Length: 1\r\n\r\nx",
         next, false, State::Complete, 200, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedAllWays(c.response + c.next, c.end),
                  Outcome(c.state, c.response.size(), c.status, c.keepAlive));
    }
}

TEST(HttpResponseReaderTest, RejectsMalformedResponses) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string head = "HTTP/1.1 200 OK\r\n";
    const std::vector<std::pair<std::string, bool>> cases = {
        {"HTTP/2 200 OK\r\n\r\n", false},
        {"HTTP/1.x 200 OK\r\n\r\n", false},
        {"HTTP/1.1 20 OK\r\n\r\n", false},
        {"HTTP/1.1 200OK\r\n\r\n", false},
        {"HTTP/1.1 099 Low\r\n\r\n", false},
        {"\r\nHTTP/1.1 200 OK\r\n\r\n", false},
        {head + "Content-Length 5\r\n\r\nhello", false},
        {head + "Content-Length : 5\r\n\r\nhello", false},
        {head + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello", false},
        {head + "Content-Length: 5, 6\r\n\r\nhello", false},
        {head + "Content-Length: 5a\r\n\r\nhello", false},
        {head + "Content-Length: +5\r\n\r\nhello", false},
        {head + "Content-Length:\r\n\r\n", false},
        {head + "Content-Length: 18446744073709551616\r\n\r\n", false},
        {chunked + "zz\r\n", false},
        {chunked + "\r\n", false},
        {chunked + "5 x\r\nhello\r\n0\r\n\r\n", false},
        {chunked + "10000000000000000\r\n", false},
        {chunked + "3\r\nabcd\r\n0\r\n\r\n", false},
        {chunked + "3\r\nabc\rx0\r\n\r\n", false},
        {chunked + "0\r\nno colon\r\n\r\n", false},
        {head, true},
        {head + "Content-Length: 5\r\n\r\nhell", true},
        {chunked + "5\r\nhello\r\n", true},
        {"HTTP/1.1 100 Continue\r\n\r\n", true},
    };
    for (const auto& [text, end] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(std::get<State>(FeedAllWays(text, end)), State::Malformed);
    }
}

// A response without body whose head is exactly size bytes long, made of short header lines.
std::string HeadOfSize(std::size_t size) {
    std::string head = "HTTP/1.1 204 No Content\r\n";
    const std::string line = "X-Filler: " + std::string(88, 'f') + "\r\n";
    while (size - head.size() > line.size() + 11) {
        head += line;
    }
    return head + "X-Pad: " + std::string(size - head.size() - 11, 'p') + "\r\n\r\n";
}

TEST(HttpResponseReaderTest, LimitsTheHeadOfEachResponse) {
    const std::size_t limit = CHttpResponseReader::max_head_bytes;
    ASSERT_EQ(HeadOfSize(limit).size(), limit);
    const std::vector<std::pair<std::string, State>> cases = {
        {HeadOfSize(limit), State::Complete},
        {HeadOfSize(limit + 1), State::Malformed},
        {"HTTP/1.1 100 Continue\r\n\r\n" + HeadOfSize(limit), State::Complete},
        {"HTTP/1.1 200 OK\r\nX-Endless: " + std::string(limit, 'x'), State::Malformed},
    };
    for (const auto& [text, state] : cases) {
        SCOPED_TRACE(text.size());
        EXPECT_EQ(std::get<State>(FeedPieces(text, {}, false)), state);
        EXPECT_EQ(std::get<State>(FeedPieces(text, EveryByte(text.size()), false)), state);
    }
}

TEST(HttpResponseReaderTest, ResetReadsTheNextResponseOfTheSamePiece) {
    const std::string first = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    const std::string second = "HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n";
    const std::string both = first + second;
    CHttpResponseReader reader;
    ASSERT_EQ(reader.Feed(both.data(), both.size()), first.size());
    EXPECT_EQ(reader.GetState(), State::Complete);
    EXPECT_EQ(reader.Status(), 200u);

    reader.Reset();
    EXPECT_EQ(reader.GetState(), State::Reading);
    EXPECT_FALSE(reader.Started());
    EXPECT_EQ(reader.Feed(both.data() + first.size(), second.size()), second.size());
    EXPECT_EQ(reader.GetState(), State::Complete);
    EXPECT_EQ(reader.Status(), 503u);
}

TEST(HttpResponseReaderTest, ConnectionClosedBeforeAnyByteIsMalformedAndNotStarted) {
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    CHttpResponseReader reader;
    ASSERT_EQ(reader.Feed(response.data(), response.size()), response.size());
    EXPECT_TRUE(reader.Started());
    reader.Reset();
    reader.FeedEnd();
    EXPECT_EQ(reader.GetState(), State::Malformed);
    EXPECT_FALSE(reader.Started());

    reader.Reset();
    EXPECT_EQ(reader.Feed("H", 1), 1u);
    reader.FeedEnd();
    EXPECT_EQ(reader.GetState(), State::Malformed);
    EXPECT_TRUE(reader.Started());
}

}  // namespace
}  // namespace ozra
