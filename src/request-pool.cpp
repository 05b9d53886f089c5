#include "request-pool.h"

namespace ozra {

namespace {

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

}  // namespace

CRequestPool::CRequestPool(std::size_t workers, std::size_t bound, libs::core::logger& logger)
    : mBound(bound), m_logger(logger) {
    for (std::size_t index = 0; index < workers; ++index) {
        mWorkers.push_back(std::make_unique<Worker>());
    }
    for (const auto& worker : mWorkers) {
        worker->mThread = std::thread([this, &worker = *worker] { Run(worker); });
    }
}

CRequestPool::~CRequestPool() {
    {
        std::unique_lock lock(mMutex);
        mProgress.wait(lock, [this] { return mUnfinished == 0; });
        mStopping = true;
    }
    for (const auto& worker : mWorkers) {
        worker->mWakeUp.notify_one();
    }
    for (const auto& worker : mWorkers) {
        worker->mThread.join();
    }
}

void CRequestPool::Submit(const std::string& orderKey, Job job) {
    Worker& worker = *mWorkers[std::hash<std::string>{}(orderKey) % mWorkers.size()];
    {
        std::unique_lock lock(mMutex);
        if (mUnfinished >= mBound) {
            if (!mFullWarned) {
                mFullWarned = true;
                m_logger.warning("%1% requests wait for the server; new ones wait for room") % mUnfinished;
            }
            mProgress.wait(lock, [this] { return mUnfinished < mBound; });
        }
        ++mUnfinished;
        worker.mQueue.push_back(std::move(job));
    }
    worker.mWakeUp.notify_one();
}

void CRequestPool::WaitIdle() {
    std::unique_lock lock(mMutex);
    mProgress.wait(lock, [this] { return mUnfinished == 0; });
    mFullWarned = false;
}

void CRequestPool::Run(Worker& worker) {
    EasyHandle handle(curl_easy_init(), &curl_easy_cleanup);
    std::unique_lock lock(mMutex);
    for (;;) {
        worker.mWakeUp.wait(lock, [&] { return mStopping || !worker.mQueue.empty(); });
        if (worker.mQueue.empty()) {
            return;
        }
        Job job = std::move(worker.mQueue.front());
        worker.mQueue.pop_front();
        lock.unlock();
        try {
            job(handle.get());
        } catch (...) {
            m_logger.log_exception();
        }
        lock.lock();
        --mUnfinished;
        mProgress.notify_all();
    }
}

}  // namespace ozra
