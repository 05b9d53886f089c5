#include "http-connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace ozra {

namespace {

constexpr std::uint64_t generation_mask = (std::uint64_t{1} << CHttpConnection::generation_bits) - 1;

}  // namespace

CHttpConnection::CHttpConnection(const CHttpTarget& target, int epoll, std::uint64_t tag)
    : mTarget(target), mEpoll(epoll), mTag(tag) {}

CHttpConnection::~CHttpConnection() {
    Close();
}

std::optional<CHttpConnection::Outcome> CHttpConnection::Start(std::string message) {
    mMessage = std::move(message);
    mResent = false;
    mReused = mSocket >= 0;
    if (!mReused) {
        return Connect();
    }
    mSent = 0;
    mReader.Reset();
    return Send();
}

std::optional<CHttpConnection::Outcome> CHttpConnection::Connect() {
    Close();
    mSent = 0;
    mReader.Reset();
    mGeneration = (mGeneration + 1) & generation_mask;
    mSocket = socket(mTarget.mAddress.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (mSocket < 0) {
        return Outcome{CURLE_COULDNT_CONNECT, 0};
    }
    const int on = 1;
    setsockopt(mSocket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect(mSocket, reinterpret_cast<const sockaddr*>(&mTarget.mAddress), mTarget.mLength) == 0) {
        return Send();
    }
    if (errno != EINPROGRESS) {
        Close();
        return Outcome{CURLE_COULDNT_CONNECT, 0};
    }
    mConnecting = true;
    Watch(EPOLLOUT);
    return std::nullopt;
}

std::optional<CHttpConnection::Outcome> CHttpConnection::Send() {
    while (mSent < mMessage.size()) {
        const ssize_t sent = send(mSocket, mMessage.data() + mSent, mMessage.size() - mSent, MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            Watch(EPOLLIN | EPOLLOUT);
            return std::nullopt;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0) {
            return Fail(CURLE_SEND_ERROR);
        }
        mSent += static_cast<std::size_t>(sent);
    }
    Watch(EPOLLIN);
    return std::nullopt;
}

std::optional<CHttpConnection::Outcome> CHttpConnection::OnEvents(std::uint64_t tag, std::uint32_t events) {
    if (mSocket < 0 || (tag & generation_mask) != mGeneration) {
        return std::nullopt;
    }
    if (mConnecting) {
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(mSocket, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
            Close();
            return Outcome{CURLE_COULDNT_CONNECT, 0};
        }
        if ((events & EPOLLOUT) == 0) {
            return std::nullopt;
        }
        mConnecting = false;
        return Send();
    }
    if (mSent < mMessage.size() && (events & EPOLLOUT) != 0) {
        if (auto outcome = Send()) {
            return outcome;
        }
    }
    if ((events & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0) {
        return Receive();
    }
    return std::nullopt;
}

std::optional<CHttpConnection::Outcome> CHttpConnection::Receive() {
    for (;;) {
        const ssize_t received = recv(mSocket, mBuffer.data(), mBuffer.size(), 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return std::nullopt;
        }
        if (received < 0) {
            return Fail(CURLE_RECV_ERROR);
        }
        if (received == 0) {
            mReader.FeedEnd();
            if (mReader.GetState() == CHttpResponseReader::State::Complete) {
                return Answered();
            }
            return Fail(mReader.Started() ? CURLE_PARTIAL_FILE : CURLE_GOT_NOTHING);
        }
        const auto size = static_cast<std::size_t>(received);
        const std::size_t used = mReader.Feed(mBuffer.data(), size);
        if (mReader.GetState() == CHttpResponseReader::State::Malformed) {
            return Fail(CURLE_WEIRD_SERVER_REPLY);
        }
        if (mReader.GetState() == CHttpResponseReader::State::Complete) {
            // Bytes after the answer were not asked for: the connection is not used again.
            if (used < size) {
                Close();
            }
            return Answered();
        }
    }
}

std::optional<CHttpConnection::Outcome> CHttpConnection::Answered() {
    // An answer before the whole request went out leaves the connection in no state to reuse.
    if (!mReader.KeepAlive() || mSent < mMessage.size()) {
        Close();
    }
    return Outcome{CURLE_OK, static_cast<long>(mReader.Status())};
}

std::optional<CHttpConnection::Outcome> CHttpConnection::Fail(CURLcode result) {
    const bool resend =
        mReused && !mResent && !mReader.Started() &&
        (result == CURLE_SEND_ERROR || result == CURLE_RECV_ERROR || result == CURLE_GOT_NOTHING);
    Close();
    if (!resend) {
        return Outcome{result, 0};
    }
    mResent = true;
    mReused = false;
    return Connect();
}

void CHttpConnection::OnIdleEvents(std::uint64_t tag) {
    if ((tag & generation_mask) == mGeneration) {
        Close();
    }
}

void CHttpConnection::Abort() {
    Close();
}

void CHttpConnection::Watch(std::uint32_t events) {
    if (events == mWatched) {
        return;
    }
    epoll_event event{};
    event.events = events;
    event.data.u64 = mTag | mGeneration;
    epoll_ctl(mEpoll, mWatched == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, mSocket, &event);
    mWatched = events;
}

void CHttpConnection::Close() {
    if (mSocket >= 0) {
        close(mSocket);
    }
    mSocket = -1;
    mWatched = 0;
    mConnecting = false;
}

}  // namespace ozra
