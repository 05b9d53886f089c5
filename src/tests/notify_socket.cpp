#include "notify_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace ozra::tests {

CNotifySocket::CNotifySocket(std::string path) : mPath(std::move(path)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (mPath.size() >= sizeof(address.sun_path)) {
        throw std::runtime_error("socket path too long: " + mPath);
    }
    std::strcpy(address.sun_path, mPath.c_str());
    mSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (mSocket == -1 || bind(mSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        throw std::runtime_error("notification socket " + mPath + ": " + std::strerror(errno));
    }
}

CNotifySocket::~CNotifySocket() {
    close(mSocket);
    unlink(mPath.c_str());
}

std::optional<std::string> CNotifySocket::WaitFor(const Match& match, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (; mNext < mAssignments.size(); ++mNext) {
            if (match(mAssignments[mNext])) {
                return mAssignments[mNext++];
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd descriptor{mSocket, POLLIN, 0};
        char buffer[4096];
        const ssize_t size = poll(&descriptor, 1, static_cast<int>(std::max<long>(left.count(), 0))) > 0
                                 ? recv(mSocket, buffer, sizeof(buffer), 0)
                                 : 0;
        if (size <= 0) {
            return std::nullopt;
        }
        std::istringstream lines(std::string(buffer, static_cast<std::size_t>(size)));
        for (std::string line; std::getline(lines, line);) {
            mAssignments.push_back(line);
        }
    }
}

}  // namespace ozra::tests
