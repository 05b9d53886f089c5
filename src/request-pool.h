#pragma once

#include <curl/curl.h>
#include <sys/epoll.h>

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
#include "http-connection.h"
#include "http-target.h"

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

// Runs queued HTTP requests concurrently on one thread over a bounded set of kept-alive connections, all
// driven by one epoll set: direct connections to a direct target, else libcurl's multi socket interface.
// A direct request that is answered with a redirection goes again through libcurl, which follows it.
// Requests with the same order key run one at a time, in the order they were queued.
class CRequestPool {
public:
    class Request {
    public:
        virtual ~Request() = default;
        // Sets the handle up for a transfer through libcurl.
        virtual void Prepare(CURL* handle) = 0;
        // The whole request for a direct connection (request line, headers, body).
        virtual std::string Message(const std::string& host) const = 0;
        // Takes the result once the transfer has ended: libcurl's code and the answer's status (0 if none).
        virtual void Finish(CURLcode result, long status) = 0;
    };

    // A direct request fails after requestTimeout; a transfer through libcurl when its handle says.
    CRequestPool(std::size_t connections, std::size_t bound, std::optional<CHttpTarget> direct,
                 std::chrono::milliseconds requestTimeout, std::chrono::milliseconds drainLimit,
                 libs::core::logger& logger);
    // Lets the queued requests run for at most the drain limit, then drops the rest with one warning.
    ~CRequestPool();
    CRequestPool(const CRequestPool&) = delete;
    CRequestPool& operator=(const CRequestPool&) = delete;

    // Queues the request; while bound requests are unfinished, blocks until one has finished.
    void Submit(const std::string& orderKey, std::unique_ptr<Request> request);
    // Returns when every request submitted before has finished.
    void WaitIdle();

private:
    using Lane = std::deque<std::unique_ptr<Request>>;
    struct Submitted {
        std::string mOrderKey;
        std::unique_ptr<Request> mRequest;
    };
    struct Connection {
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> mHandle{curl_easy_init(), &curl_easy_cleanup};
        std::unique_ptr<CHttpConnection> mDirect;  // with a direct target
        std::unordered_map<std::string, Lane>::iterator mLane;
        bool mBusy = false;
        bool mViaCurl = false;
        std::chrono::steady_clock::time_point mDeadline;  // of a direct request

        bool InDirectRequest() const { return mBusy && mDirect && !mViaCurl; }
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
    void StartReadyLanes();
    void StartDirect(Connection& connection);
    void StartCurl(Connection& connection);
    // A direct request ended: finished, or handed to libcurl to follow a redirection.
    void Ended(Connection& connection, const CHttpConnection::Outcome& outcome);
    // Waits for socket events, the transfers' timer or a submission, and lets libcurl act on them.
    void DriveTransfers();
    std::chrono::milliseconds LongestWait();
    void OnDirectEvents(const epoll_event& event);
    void FailOverdueDirect();
    void FinishTransfers();
    void Finish(Connection& connection, CURLcode result, long status);
    void DropUnfinished();
    void WakeUp();

    const std::size_t mBound;
    const std::optional<CHttpTarget> mDirect;
    const std::chrono::milliseconds mRequestTimeout;
    const std::chrono::milliseconds mDrainLimit;
    libs::core::logger& m_logger;
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> mMulti;
    CFileDescriptor mEpoll;
    CFileDescriptor mWakeUp;

    // Shared with the submitting threads.
    std::mutex mMutex;
    std::condition_variable mProgress;
    std::vector<Submitted> mSubmitted;
    std::size_t mUnfinished = 0;
    bool mSleeping = false;
    bool mStopping = false;
    bool mFullWarned = false;
    std::chrono::steady_clock::time_point mDrainDeadline;

    // The pool thread's own.
    std::unordered_map<std::string, Lane> mLanes;
    std::deque<std::unordered_map<std::string, Lane>::iterator> mReady;
    std::vector<Connection> mConnections;
    std::unordered_map<int, Watched> mWatched;  // by socket
    bool mTimerSet = false;
    std::chrono::steady_clock::time_point mTimerDue;
    std::thread mThread;
};

}  // namespace ozra
