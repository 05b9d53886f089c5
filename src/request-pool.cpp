#include "request-pool.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "core/exception.h"

namespace ozra {

namespace {

constexpr std::chrono::milliseconds longest_wait{1000};
constexpr int events_per_wait = 64;

timeval WallClockNow() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return now;
}

}  // namespace

CFileDescriptor::~CFileDescriptor() {
    if (mFd >= 0) {
        close(mFd);
    }
}

CRequestPool::CRequestPool(std::size_t connections, std::chrono::milliseconds stopLimit,
                           libs::core::logger& logger)
    : mStopLimit(stopLimit),
      m_logger(logger),
      mMulti(curl_multi_init(), &curl_multi_cleanup),
      mEpoll(epoll_create1(EPOLL_CLOEXEC)),
      mWakeUp(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      mConnections(connections) {
    if (!mMulti) {
        OZRA_THROW("CRequestPool: curl_multi_init failed");
    }
    if (mEpoll.get() < 0 || mWakeUp.get() < 0) {
        OZRA_THROW(std::string("CRequestPool: ") + std::strerror(errno));
    }
    epoll_event wakeUp{};
    wakeUp.events = EPOLLIN;
    wakeUp.data.fd = mWakeUp.get();
    if (epoll_ctl(mEpoll.get(), EPOLL_CTL_ADD, mWakeUp.get(), &wakeUp) != 0) {
        OZRA_THROW(std::string("CRequestPool: ") + std::strerror(errno));
    }
    curl_multi_setopt(mMulti.get(), CURLMOPT_MAXCONNECTS, static_cast<long>(connections));
    curl_multi_setopt(mMulti.get(), CURLMOPT_SOCKETFUNCTION, &CRequestPool::OnSocket);
    curl_multi_setopt(mMulti.get(), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(mMulti.get(), CURLMOPT_TIMERFUNCTION, &CRequestPool::OnTimer);
    curl_multi_setopt(mMulti.get(), CURLMOPT_TIMERDATA, this);
    mThread = std::thread([this] { Run(); });
}

CRequestPool::~CRequestPool() {
    {
        const std::lock_guard lock(mMutex);
        mStopping = true;
        mStopDeadline = std::chrono::steady_clock::now() + mStopLimit;
        WakeUp();
    }
    mThread.join();
    if (mDropped > 0) {
        m_logger.warning("Stopping: %1% requests to the server dropped unsent") % mDropped;
    }
    // libcurl may still call back while it closes its connections.
    mMulti.reset();
}

void CRequestPool::Submit(const std::string& orderKey, std::unique_ptr<Request> request, bool replaceable) {
    const std::lock_guard lock(mMutex);
    ++mUnfinished;
    ++mLaneStates[orderKey].mUnfinished;
    mSubmitted.push_back({orderKey, Queued{std::move(request), replaceable}});
    WakeUp();
}

void CRequestPool::WakeUp() {
    if (mSleeping) {
        mSleeping = false;
        const std::uint64_t one = 1;
        (void)!write(mWakeUp.get(), &one, sizeof one);
    }
}

void CRequestPool::WaitIdle() {
    std::unique_lock lock(mMutex);
    mIdle.wait(lock, [this] { return mUnfinished == 0; });
}

CRequestPool::Settled CRequestPool::TakeSettled(const std::string& orderKey) {
    const std::lock_guard lock(mMutex);
    const auto state = mLaneStates.find(orderKey);
    if (state == mLaneStates.end()) {
        return {};
    }
    if (state->second.mUnfinished > 0) {
        return {true, std::nullopt};
    }
    Settled settled{false, state->second.mSettledAt};
    mLaneStates.erase(state);
    return settled;
}

// A socket libcurl no longer watches stays in the epoll set, with its events, until it reports an event or
// is watched again: a request over a kept-alive connection then needs no epoll_ctl at all. A new socket
// starts afresh, whatever an earlier socket with its number left behind.
curl_socket_t CRequestPool::OnOpenSocket(void* pool, curlsocktype, curl_sockaddr* address) {
    const int socket = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket < 0) {
        return CURL_SOCKET_BAD;
    }
    static_cast<CRequestPool*>(pool)->mWatched.erase(socket);
    return socket;
}

int CRequestPool::OnSocket(CURL*, curl_socket_t socket, int what, void* pool, void*) {
    auto& self = *static_cast<CRequestPool*>(pool);
    const auto watched = self.mWatched.find(socket);
    if (what == CURL_POLL_REMOVE) {
        if (watched != self.mWatched.end()) {
            watched->second.mActive = false;
        }
        return 0;
    }
    const std::uint32_t events =
        (what & CURL_POLL_IN ? EPOLLIN : 0u) | (what & CURL_POLL_OUT ? EPOLLOUT : 0u);
    if (watched != self.mWatched.end() && watched->second.mEvents == events) {
        watched->second.mActive = true;
        return 0;
    }
    self.mWatched[socket] = Watched{events, true};
    epoll_event event{};
    event.events = events;
    event.data.fd = socket;
    if (epoll_ctl(self.mEpoll.get(), EPOLL_CTL_MOD, socket, &event) != 0 && errno == ENOENT) {
        epoll_ctl(self.mEpoll.get(), EPOLL_CTL_ADD, socket, &event);
    }
    return 0;
}

int CRequestPool::OnTimer(CURLM*, long timeoutMs, void* pool) {
    auto& self = *static_cast<CRequestPool*>(pool);
    self.mTimerSet = timeoutMs >= 0;
    self.mTimerDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

void CRequestPool::Run() {
    while (TakeSubmitted()) {
        StartReadyLanes();
        DriveTransfers();
        FinishTransfers();
    }
}

bool CRequestPool::TakeSubmitted() {
    const std::lock_guard lock(mMutex);
    if (mStopping && !mWaitingDropped) {
        DropWaiting();
    }
    if (mStopping && mUnfinished == 0) {
        return false;
    }
    if (mStopping && std::chrono::steady_clock::now() >= mStopDeadline) {
        DropRunning();
        return false;
    }
    for (Submitted& submitted : mSubmitted) {
        Enqueue(submitted.mOrderKey, std::move(submitted.mQueued));
    }
    mSubmitted.clear();
    return true;
}

void CRequestPool::Enqueue(const std::string& orderKey, Queued queued) {
    LaneEntry& lane = *mLanes.try_emplace(orderKey).first;
    std::deque<Queued>& queue = lane.second.mQueue;
    if (queue.empty()) {
        mReady.push_back(&lane);
    } else if (queued.mReplaceable && queue.size() >= 2 && queue.back().mReplaceable) {
        queue.back() = std::move(queued);
        Forget(orderKey, false);
        return;
    }
    queue.push_back(std::move(queued));
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
        connection.mLane->second.mRunning = true;
        connection.mBusy = true;
        Start(connection);
    }
}

void CRequestPool::Start(Connection& connection) {
    CURL* const handle = connection.mHandle.get();
    try {
        connection.mLane->second.mQueue.front().mRequest->Prepare(handle);
        curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, &CRequestPool::OnOpenSocket);
        curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, this);
    } catch (...) {
        m_logger.log_exception();
        Finish(connection, CURLE_FAILED_INIT, 0);
        return;
    }
    if (curl_multi_add_handle(mMulti.get(), handle) != CURLM_OK) {
        Finish(connection, CURLE_FAILED_INIT, 0);
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
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        curl_multi_remove_handle(mMulti.get(), handle);
        const auto connection = std::find_if(mConnections.begin(), mConnections.end(),
                                             [&](const Connection& c) { return c.mHandle.get() == handle; });
        if (connection != mConnections.end() && connection->mBusy) {
            Finish(*connection, result, status);
        }
    }
}

void CRequestPool::Finish(Connection& connection, CURLcode result, long status) {
    LaneEntry* const lane = connection.mLane;
    try {
        lane->second.mQueue.front().mRequest->Finish(result, status);
    } catch (...) {
        m_logger.log_exception();
    }
    lane->second.mQueue.pop_front();
    lane->second.mRunning = false;
    connection.mBusy = false;
    const std::lock_guard lock(mMutex);
    Forget(lane->first, true);
    if (lane->second.mQueue.empty()) {
        mLanes.erase(mLanes.find(lane->first));
    } else {
        mReady.push_back(lane);
    }
}

void CRequestPool::Forget(const std::string& orderKey, bool ended) {
    LaneState& state = mLaneStates[orderKey];
    --state.mUnfinished;
    if (ended) {
        state.mSettledAt = WallClockNow();
    }
    if (--mUnfinished == 0) {
        mIdle.notify_all();
    }
}

void CRequestPool::DropWaiting() {
    mWaitingDropped = true;
    for (Submitted& submitted : mSubmitted) {
        Forget(submitted.mOrderKey, false);
        ++mDropped;
    }
    mSubmitted.clear();
    mReady.clear();
    for (auto lane = mLanes.begin(); lane != mLanes.end();) {
        std::deque<Queued>& queue = lane->second.mQueue;
        const std::size_t kept = lane->second.mRunning ? 1 : 0;
        for (std::size_t dropped = kept; dropped < queue.size(); ++dropped) {
            Forget(lane->first, false);
            ++mDropped;
        }
        queue.resize(kept);
        lane = queue.empty() ? mLanes.erase(lane) : std::next(lane);
    }
}

void CRequestPool::DropRunning() {
    for (Connection& connection : mConnections) {
        if (connection.mBusy) {
            curl_multi_remove_handle(mMulti.get(), connection.mHandle.get());
            connection.mBusy = false;
            Forget(connection.mLane->first, false);
            ++mDropped;
        }
    }
    mLanes.clear();
}

void CRequestPool::DriveTransfers() {
    const std::chrono::milliseconds wait = LongestWait();
    std::array<epoll_event, events_per_wait> events;
    const int count =
        epoll_wait(mEpoll.get(), events.data(), events_per_wait, static_cast<int>(wait.count()));
    {
        const std::lock_guard lock(mMutex);
        mSleeping = false;
    }
    int running = 0;
    for (int index = 0; index < count; ++index) {
        const epoll_event& event = events[static_cast<std::size_t>(index)];
        if (event.data.fd == mWakeUp.get()) {
            std::uint64_t wakeUps = 0;
            (void)!read(mWakeUp.get(), &wakeUps, sizeof wakeUps);
            continue;
        }
        const auto watched = mWatched.find(event.data.fd);
        if (watched == mWatched.end() || !watched->second.mActive) {
            epoll_ctl(mEpoll.get(), EPOLL_CTL_DEL, event.data.fd, nullptr);
            if (watched != mWatched.end()) {
                mWatched.erase(watched);
            }
            continue;
        }
        const int mask = (event.events & EPOLLIN ? CURL_CSELECT_IN : 0) |
                         (event.events & EPOLLOUT ? CURL_CSELECT_OUT : 0) |
                         (event.events & (EPOLLERR | EPOLLHUP) ? CURL_CSELECT_ERR : 0);
        curl_multi_socket_action(mMulti.get(), event.data.fd, mask, &running);
    }
    if (mTimerSet && std::chrono::steady_clock::now() >= mTimerDue) {
        mTimerSet = false;
        curl_multi_socket_action(mMulti.get(), CURL_SOCKET_TIMEOUT, 0, &running);
    }
}

// Zero while there is something to do at once; otherwise until the transfers' timer or the stop limit.
std::chrono::milliseconds CRequestPool::LongestWait() {
    using std::chrono::milliseconds;
    const auto now = std::chrono::steady_clock::now();
    milliseconds wait = longest_wait;
    if (mTimerSet) {
        wait = std::min(wait, std::chrono::ceil<milliseconds>(mTimerDue - now));
    }
    const bool connectionFree = std::any_of(mConnections.begin(), mConnections.end(),
                                            [](const Connection& connection) { return !connection.mBusy; });
    if (!mReady.empty() && connectionFree) {
        wait = milliseconds(0);
    }
    const std::lock_guard lock(mMutex);
    if (!mSubmitted.empty() || (mStopping && (mUnfinished == 0 || !mWaitingDropped))) {
        wait = milliseconds(0);
    } else if (mStopping) {
        wait = std::min(wait, std::chrono::ceil<milliseconds>(mStopDeadline - now));
    }
    wait = std::max(wait, milliseconds(0));
    mSleeping = wait > milliseconds(0);
    return wait;
}

}  // namespace ozra
