#include "request-pool.h"

#include <algorithm>

#include "core/exception.h"

namespace ozra {

namespace {

constexpr int longest_sleep_ms = 1000;

}  // namespace

CRequestPool::CRequestPool(std::size_t connections, std::size_t bound, std::chrono::milliseconds drainLimit,
                           libs::core::logger& logger)
    : mBound(bound),
      mDrainLimit(drainLimit),
      m_logger(logger),
      mMulti(curl_multi_init(), &curl_multi_cleanup),
      mConnections(connections) {
    if (!mMulti) {
        OZRA_THROW("CRequestPool: curl_multi_init failed");
    }
    curl_multi_setopt(mMulti.get(), CURLMOPT_MAXCONNECTS, static_cast<long>(connections));
    mThread = std::thread([this] { Run(); });
}

CRequestPool::~CRequestPool() {
    {
        const std::lock_guard lock(mMutex);
        mStopping = true;
        mDrainDeadline = std::chrono::steady_clock::now() + mDrainLimit;
        if (mSleeping) {
            curl_multi_wakeup(mMulti.get());
        }
    }
    mThread.join();
}

void CRequestPool::Submit(const std::string& orderKey, std::unique_ptr<Request> request) {
    std::unique_lock lock(mMutex);
    if (mUnfinished >= mBound) {
        if (!mFullWarned) {
            mFullWarned = true;
            m_logger.warning("%1% requests wait for the server; new ones wait for room") % mUnfinished;
        }
        mProgress.wait(lock, [this] { return mUnfinished < mBound; });
    }
    ++mUnfinished;
    mSubmitted.push_back({orderKey, std::move(request)});
    if (mSleeping) {
        mSleeping = false;
        curl_multi_wakeup(mMulti.get());
    }
}

void CRequestPool::WaitIdle() {
    std::unique_lock lock(mMutex);
    mProgress.wait(lock, [this] { return mUnfinished == 0; });
    mFullWarned = false;
}

void CRequestPool::Run() {
    while (TakeSubmitted()) {
        StartReadyLanes();
        int running = 0;
        curl_multi_perform(mMulti.get(), &running);
        FinishTransfers();
        const bool roomForReady = !mReady.empty() && mActive < mConnections.size();
        if (!roomForReady) {
            Sleep();
        }
    }
}

bool CRequestPool::TakeSubmitted() {
    std::vector<Submitted> taken;
    {
        const std::lock_guard lock(mMutex);
        if (mStopping && mUnfinished == 0) {
            return false;
        }
        if (mStopping && std::chrono::steady_clock::now() >= mDrainDeadline) {
            mSubmitted.clear();
            DropUnfinished();
            return false;
        }
        taken.swap(mSubmitted);
    }
    for (Submitted& submitted : taken) {
        const auto lane = mLanes.try_emplace(std::move(submitted.mOrderKey)).first;
        if (lane->second.empty()) {
            mReady.push_back(lane);
        }
        lane->second.push_back(std::move(submitted.mRequest));
    }
    return true;
}

void CRequestPool::StartReadyLanes() {
    for (Connection& connection : mConnections) {
        if (mReady.empty()) {
            return;
        }
        if (connection.mBusy) {
            continue;
        }
        connection.mLane = mReady.front();
        mReady.pop_front();
        connection.mBusy = true;
        ++mActive;
        CURL* const handle = connection.mHandle.get();
        try {
            connection.mLane->second.front()->Prepare(handle);
        } catch (...) {
            m_logger.log_exception();
            Finish(connection, CURLE_FAILED_INIT);
            continue;
        }
        if (curl_multi_add_handle(mMulti.get(), handle) != CURLM_OK) {
            Finish(connection, CURLE_FAILED_INIT);
        }
    }
}

void CRequestPool::FinishTransfers() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(mMulti.get(), &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        CURL* const handle = message->easy_handle;
        const CURLcode result = message->data.result;
        curl_multi_remove_handle(mMulti.get(), handle);
        const auto connection = std::find_if(mConnections.begin(), mConnections.end(),
                                             [&](const Connection& c) { return c.mHandle.get() == handle; });
        if (connection != mConnections.end() && connection->mBusy) {
            Finish(*connection, result);
        }
    }
}

void CRequestPool::Finish(Connection& connection, CURLcode result) {
    const auto lane = connection.mLane;
    try {
        lane->second.front()->Finish(connection.mHandle.get(), result);
    } catch (...) {
        m_logger.log_exception();
    }
    lane->second.pop_front();
    connection.mBusy = false;
    --mActive;
    if (lane->second.empty()) {
        mLanes.erase(lane);
    } else {
        mReady.push_back(lane);
    }
    const std::lock_guard lock(mMutex);
    --mUnfinished;
    // Only a waiter for idleness or for room can be waiting.
    if (mUnfinished == 0 || mUnfinished + 1 == mBound) {
        mProgress.notify_all();
    }
}

void CRequestPool::DropUnfinished() {
    m_logger.warning("Stopping: %1% requests to the server dropped, unfinished %2% ms after the stop") %
        mUnfinished % mDrainLimit.count();
    for (Connection& connection : mConnections) {
        if (connection.mBusy) {
            curl_multi_remove_handle(mMulti.get(), connection.mHandle.get());
            connection.mBusy = false;
        }
    }
    mActive = 0;
    mReady.clear();
    mLanes.clear();
    mUnfinished = 0;
    mProgress.notify_all();
}

void CRequestPool::Sleep() {
    auto sleep = std::chrono::milliseconds(longest_sleep_ms);
    {
        const std::lock_guard lock(mMutex);
        if (!mSubmitted.empty() || (mStopping && mUnfinished == 0)) {
            return;
        }
        if (mStopping) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(mDrainDeadline -
                                                                           std::chrono::steady_clock::now());
            sleep = std::clamp(left, std::chrono::milliseconds(0), sleep);
        }
        mSleeping = true;
    }
    curl_multi_poll(mMulti.get(), nullptr, 0, static_cast<int>(sleep.count()), nullptr);
    const std::lock_guard lock(mMutex);
    mSleeping = false;
}

}  // namespace ozra
