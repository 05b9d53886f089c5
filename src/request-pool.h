#pragma once

#include <curl/curl.h>
#include <sys/epoll.h>
#include <sys/time.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/logger.h"

namespace ozra {

// Owns a file descriptor.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : mFd(fd) {}
    ~CFileDescriptor();
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int get() const { return mFd; }

private:
    int mFd;
};

// Runs queued HTTP requests concurrently on one thread over a bounded set of kept-alive connections, through
// libcurl's multi socket interface driven by one epoll set. Submitting never waits.
// Requests with the same order key (a lane) run one at a time, in the order they were queued; lanes with
// requests take turns at the free connections.
class CRequestPool {
public:
    class Request {
    public:
        virtual ~Request() = default;
        // Sets the handle up for the transfer.
        virtual void Prepare(CURL* handle) = 0;
        // Takes the result once the transfer has ended: libcurl's code and the answer's status (0 if none).
        virtual void Finish(CURLcode result, long status) = 0;
    };

    // At destruction, requests still running after stopLimit are dropped.
    CRequestPool(std::size_t connections, std::chrono::milliseconds stopLimit, libs::core::logger& logger);
    // Drops the requests that have not started and lets the running ones end within the stop limit; one
    // warning gives the count of the dropped ones.
    ~CRequestPool();
    CRequestPool(const CRequestPool&) = delete;
    CRequestPool& operator=(const CRequestPool&) = delete;

    // Queues the request. A replaceable request takes the place of a replaceable one of the same lane that
    // waits behind another: the newer supersedes it.
    void Submit(const std::string& orderKey, std::unique_ptr<Request> request, bool replaceable = false);
    // Returns when every request submitted before has finished.
    void WaitIdle();
    // Where a lane stands for its owner.
    struct Settled {
        bool mWaiting = false;       // a request of the lane waits or runs
        std::optional<timeval> mAt;  // else the wall-clock time its last request ended, told once
    };
    Settled TakeSettled(const std::string& orderKey);

private:
    struct Queued {
        std::unique_ptr<Request> mRequest;
        bool mReplaceable;
    };
    struct Lane {
        std::deque<Queued> mQueue;
        bool mRunning = false;  // its first request is on a connection
    };
    using Lanes = std::unordered_map<std::string, Lane>;
    using LaneEntry = Lanes::value_type;  // stays in place while others come and go
    struct Submitted {
        std::string mOrderKey;
        Queued mQueued;
    };
    struct Connection {
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> mHandle{curl_easy_init(), &curl_easy_cleanup};
        LaneEntry* mLane = nullptr;
        bool mBusy = false;
    };
    // A lane's requests not yet finished, and when its last one ended.
    struct LaneState {
        std::size_t mUnfinished = 0;
        std::optional<timeval> mSettledAt;  // until told
    };

    // A socket's events in the epoll set; a socket libcurl stopped watching keeps them, inactive.
    struct Watched {
        std::uint32_t mEvents;
        bool mActive;
    };

    static curl_socket_t OnOpenSocket(void* pool, curlsocktype purpose, curl_sockaddr* address);
    static int OnSocket(CURL* handle, curl_socket_t socket, int what, void* pool, void* socketData);
    static int OnTimer(CURLM* multi, long timeoutMs, void* pool);

    void Run();
    // Moves the submitted requests to their lanes; false once the pool stops and may end.
    bool TakeSubmitted();
    // Appends to the lane, or replaces a superseded request; called with the mutex held.
    void Enqueue(const std::string& orderKey, Queued queued);
    void StartReadyLanes();
    void Start(Connection& connection);
    // Waits for socket events, the transfers' timer or a submission, and lets libcurl act on them.
    void DriveTransfers();
    std::chrono::milliseconds LongestWait();
    void FinishTransfers();
    void Finish(Connection& connection, CURLcode result, long status);
    // Called with the mutex held: one request of the lane will not run or has ended.
    void Forget(const std::string& orderKey, bool ended);
    // Called with the mutex held at the stop: drops what has not started.
    void DropWaiting();
    // Called with the mutex held after the stop limit: drops what still runs, then tells the count.
    void DropRunning();
    void WakeUp();

    const std::chrono::milliseconds mStopLimit;
    libs::core::logger& m_logger;
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> mMulti;
    CFileDescriptor mEpoll;
    CFileDescriptor mWakeUp;

    // Shared with the submitting threads.
    std::mutex mMutex;
    std::condition_variable mIdle;
    std::vector<Submitted> mSubmitted;
    std::unordered_map<std::string, LaneState> mLaneStates;
    std::size_t mUnfinished = 0;
    bool mSleeping = false;
    bool mStopping = false;
    bool mWaitingDropped = false;
    std::size_t mDropped = 0;
    std::chrono::steady_clock::time_point mStopDeadline;

    // The pool thread's own.
    Lanes mLanes;
    std::deque<LaneEntry*> mReady;
    std::vector<Connection> mConnections;
    std::unordered_map<int, Watched> mWatched;  // by socket
    bool mTimerSet = false;
    std::chrono::steady_clock::time_point mTimerDue;
    std::thread mThread;
};

}  // namespace ozra
