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
// Marks the epoll entries of direct connections; the connection's index follows the generation bits.
constexpr std::uint64_t direct_tag = std::uint64_t{1} << 63;

}  // namespace

CFileDescriptor::~CFileDescriptor() {
    if (mFd >= 0) {
        close(mFd);
    }
}

CRequestPool::CRequestPool(std::size_t connections, std::size_t bound, std::optional<CHttpTarget> direct,
                           std::chrono::milliseconds requestTimeout, std::chrono::milliseconds drainLimit,
                           libs::core::logger& logger)
    : mBound(bound),
      mDirect(std::move(direct)),
      mRequestTimeout(requestTimeout),
      mDrainLimit(drainLimit),
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
    if (mDirect) {
        for (std::size_t index = 0; index < connections; ++index) {
            mConnections[index].mDirect = std::make_unique<CHttpConnection>(
                *mDirect, mEpoll.get(), direct_tag | (index << CHttpConnection::generation_bits));
        }
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
        mDrainDeadline = std::chrono::steady_clock::now() + mDrainLimit;
        WakeUp();
    }
    mThread.join();
    // libcurl may still call back while it closes its connections.
    mMulti.reset();
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
    mProgress.wait(lock, [this] { return mUnfinished == 0; });
    mFullWarned = false;
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
    std::vector<Submitted> taken;
    {
        const std::lock_guard lock(mMutex);
        if (mStopping && mUnfinished == 0) {
            return false;
        }
        if (mStopping && std::chrono::steady_clock::now() >= mDrainDeadline) {
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
        if (connection.mDirect) {
            StartDirect(connection);
        } else {
            StartCurl(connection);
        }
    }
}

void CRequestPool::StartDirect(Connection& connection) {
    connection.mViaCurl = false;
    connection.mDeadline = std::chrono::steady_clock::now() + mRequestTimeout;
    std::optional<CHttpConnection::Outcome> outcome;
    try {
        outcome = connection.mDirect->Start(connection.mLane->second.front()->Message(mDirect->mHost));
    } catch (...) {
        m_logger.log_exception();
        connection.mDirect->Abort();
        Finish(connection, CURLE_FAILED_INIT, 0);
        return;
    }
    if (outcome) {
        Ended(connection, *outcome);
    }
}

void CRequestPool::StartCurl(Connection& connection) {
    connection.mViaCurl = true;
    CURL* const handle = connection.mHandle.get();
    try {
        connection.mLane->second.front()->Prepare(handle);
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

void CRequestPool::Ended(Connection& connection, const CHttpConnection::Outcome& outcome) {
    if (outcome.mResult == CURLE_OK && outcome.mStatus >= 300 && outcome.mStatus < 400) {
        StartCurl(connection);
    } else {
        Finish(connection, outcome.mResult, outcome.mStatus);
    }
}

void CRequestPool::OnDirectEvents(const epoll_event& event) {
    Connection& connection = mConnections[(event.data.u64 & ~direct_tag) >> CHttpConnection::generation_bits];
    if (!connection.InDirectRequest()) {
        connection.mDirect->OnIdleEvents(event.data.u64);
    } else if (const auto outcome = connection.mDirect->OnEvents(event.data.u64, event.events)) {
        Ended(connection, *outcome);
    }
}

void CRequestPool::FailOverdueDirect() {
    const auto now = std::chrono::steady_clock::now();
    for (Connection& connection : mConnections) {
        if (connection.InDirectRequest() && now >= connection.mDeadline) {
            connection.mDirect->Abort();
            Finish(connection, CURLE_OPERATION_TIMEDOUT, 0);
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
    const auto lane = connection.mLane;
    try {
        lane->second.front()->Finish(result, status);
    } catch (...) {
        m_logger.log_exception();
    }
    lane->second.pop_front();
    connection.mBusy = false;
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
        if (connection.InDirectRequest()) {
            connection.mDirect->Abort();
        } else if (connection.mBusy) {
            curl_multi_remove_handle(mMulti.get(), connection.mHandle.get());
        }
        connection.mBusy = false;
    }
    mSubmitted.clear();
    mReady.clear();
    mLanes.clear();
    mUnfinished = 0;
    mProgress.notify_all();
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
        if ((event.data.u64 & direct_tag) != 0) {
            OnDirectEvents(event);
            continue;
        }
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
    FailOverdueDirect();
}

// Zero while there is something to do at once; otherwise until the transfers' timer, the first deadline of
// a direct request or the drain deadline.
std::chrono::milliseconds CRequestPool::LongestWait() {
    using std::chrono::milliseconds;
    const auto now = std::chrono::steady_clock::now();
    milliseconds wait = longest_wait;
    if (mTimerSet) {
        wait = std::min(wait, std::chrono::ceil<milliseconds>(mTimerDue - now));
    }
    for (const Connection& connection : mConnections) {
        if (connection.InDirectRequest()) {
            wait = std::min(wait, std::chrono::ceil<milliseconds>(connection.mDeadline - now));
        }
    }
    const bool connectionFree = std::any_of(mConnections.begin(), mConnections.end(),
                                            [](const Connection& connection) { return !connection.mBusy; });
    if (!mReady.empty() && connectionFree) {
        wait = milliseconds(0);
    }
    const std::lock_guard lock(mMutex);
    if (!mSubmitted.empty() || (mStopping && mUnfinished == 0)) {
        wait = milliseconds(0);
    } else if (mStopping) {
        wait = std::min(wait, std::chrono::ceil<milliseconds>(mDrainDeadline - now));
    }
    wait = std::max(wait, milliseconds(0));
    mSleeping = wait > milliseconds(0);
    return wait;
}

}  // namespace ozra
