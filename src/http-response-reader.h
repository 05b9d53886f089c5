#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ozra {

// Follows HTTP/1.x responses on a client connection as their bytes arrive, one response at a time, skipping
// interim 1xx responses and discarding the body. Only the final status and whether the connection may be
// reused are kept; body bytes are never buffered.
class CHttpResponseReader {
public:
    enum class State { Reading, Complete, Malformed };

    // Bytes allowed for the status line and headers of one response, line ends included.
    static constexpr std::size_t max_head_bytes = 64 * 1024;

    CHttpResponseReader() { Reset(); }

    // Starts reading the next response (of a request that was not HEAD).
    void Reset();
    // Takes bytes that arrived and returns how many it used: it stops right after the end of the response,
    // or at the first malformed byte. Feeding more after Complete or Malformed uses nothing.
    std::size_t Feed(const char* data, std::size_t size);
    // The peer closed the connection: a body delimited by the end of the connection completes here;
    // anything else unfinished becomes Malformed.
    void FeedEnd();

    State GetState() const { return mState; }
    // Whether any byte of this response arrived (a closed kept-alive connection shows none).
    bool Started() const { return mStarted; }
    // The final status code (valid once Complete).
    unsigned Status() const { return mStatus; }
    // Whether the connection may carry the next request after this response (valid once Complete).
    bool KeepAlive() const { return mKeepAlive; }

private:
    enum class Step {
        StatusLine,
        HeaderLine,
        FixedBody,
        ChunkSizeLine,
        ChunkData,
        ChunkDataCr,
        ChunkDataLf,
        TrailerLine,
        UntilClose,
    };

    void StartHead();
    void StartChunk();
    // Handlers of a whole line held in mLine without its line end; false when the line is malformed.
    bool OnLine();
    bool OnStatusLine();
    bool OnHeaderLine();
    bool OnHeadEnd();
    bool OnChunkSizeLine();

    State mState = State::Reading;
    Step mStep = Step::StatusLine;
    bool mStarted = false;
    unsigned mStatus = 0;
    bool mKeepAlive = false;

    // The line being assembled and how many more framing bytes may arrive before the limit.
    std::string mLine;
    std::size_t mLineBudget = 0;
    // Body or chunk bytes still to skip.
    std::uint64_t mRemaining = 0;

    // What the headers of the current response said.
    bool mHttp10 = false;
    bool mConnectionClose = false;
    bool mConnectionKeepAlive = false;
    bool mHasTransferEncoding = false;
    bool mChunked = false;
    bool mHasContentLength = false;
    std::uint64_t mContentLength = 0;
};

}  // namespace ozra
