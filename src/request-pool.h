#pragma once

#include <curl/curl.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/logger.h"

namespace ozra {

// Runs queued HTTP requests on a fixed set of worker threads, each keeping its own connection alive.
// Requests with the same order key run on the same worker, in the order they were queued.
class CRequestPool {
public:
    // Runs one request over the worker's easy handle.
    using Job = std::function<void(CURL* handle)>;

    CRequestPool(std::size_t workers, std::size_t bound, libs::core::logger& logger);
    // Runs every queued request, then joins the workers.
    ~CRequestPool();
    CRequestPool(const CRequestPool&) = delete;
    CRequestPool& operator=(const CRequestPool&) = delete;

    // Queues the request; while bound requests are waiting, blocks until one has finished.
    void Submit(const std::string& orderKey, Job job);
    // Returns when every request submitted before has finished.
    void WaitIdle();
    std::size_t Workers() const { return mWorkers.size(); }

private:
    struct Worker {
        std::deque<Job> mQueue;
        std::condition_variable mWakeUp;
        std::thread mThread;
    };

    void Run(Worker& worker);

    const std::size_t mBound;
    libs::core::logger& m_logger;
    std::mutex mMutex;
    std::condition_variable mProgress;
    std::size_t mUnfinished = 0;
    bool mStopping = false;
    bool mFullWarned = false;
    std::vector<std::unique_ptr<Worker>> mWorkers;
};

}  // namespace ozra
