#pragma once

#include <curl/curl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "http-response-reader.h"
#include "http-target.h"

namespace ozra {

// One kept-alive HTTP/1.1 connection to a direct target, carrying one request at a time; the answer's body
// is discarded. Its socket sits in its owner's epoll set under the owner's tag (the generation in the low
// bits tells events of an earlier socket from the current one's), and the owner hands it the events.
// Failures carry libcurl's codes, so that they read the same whichever way a request went.
class CHttpConnection {
public:
    struct Outcome {
        CURLcode mResult;
        long mStatus;
    };

    // Tags have their low generation_bits free.
    static constexpr int generation_bits = 16;

    CHttpConnection(const CHttpTarget& target, int epoll, std::uint64_t tag);
    ~CHttpConnection();
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // Sends the whole request (request line, headers, body); the outcome if it ended at once.
    std::optional<Outcome> Start(std::string message);
    // Acts on the events of the tagged socket; the outcome once the request has ended.
    std::optional<Outcome> OnEvents(std::uint64_t tag, std::uint32_t events);
    // Between requests, any event means the server closed the connection or sent unasked: it is closed.
    void OnIdleEvents(std::uint64_t tag);
    // Gives the request up and closes the connection.
    void Abort();

private:
    std::optional<Outcome> Connect();
    std::optional<Outcome> Send();
    std::optional<Outcome> Receive();
    std::optional<Outcome> Answered();
    // Ends the request with the failure, except that a reused connection which failed before any answer
    // arrived (the server may have closed it meanwhile) is replaced once and the request sent again.
    std::optional<Outcome> Fail(CURLcode result);
    void Watch(std::uint32_t events);
    void Close();

    const CHttpTarget& mTarget;
    const int mEpoll;
    const std::uint64_t mTag;
    std::uint64_t mGeneration = 0;
    int mSocket = -1;
    std::uint32_t mWatched = 0;
    bool mConnecting = false;
    bool mReused = false;
    bool mResent = false;
    std::string mMessage;
    std::size_t mSent = 0;
    CHttpResponseReader mReader;
    std::array<char, 16384> mBuffer;
};

}  // namespace ozra
