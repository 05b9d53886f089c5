#pragma once

#include <chrono>

#include "metrics.h"

namespace ozra {

// Times one request to the server from its start to its end and counts its outcome; a request destroyed
// before its end counts as an error.
class CMeasuredRequest {
public:
    explicit CMeasuredRequest(CServerResource resource) : mResource(resource) {}
    ~CMeasuredRequest();
    CMeasuredRequest(const CMeasuredRequest&) = delete;
    CMeasuredRequest& operator=(const CMeasuredRequest&) = delete;

    // Counts the request once.
    void Ended(bool ok);

private:
    const CServerResource mResource;
    const std::chrono::steady_clock::time_point mStart = std::chrono::steady_clock::now();
    bool mEnded = false;
};

// A background request in the queue depth for as long as it lives.
class CQueuedRequest {
public:
    CQueuedRequest() { Metrics().RequestQueued(); }
    ~CQueuedRequest() { Metrics().RequestDequeued(); }
    CQueuedRequest(const CQueuedRequest&) = delete;
    CQueuedRequest& operator=(const CQueuedRequest&) = delete;
};

}  // namespace ozra
