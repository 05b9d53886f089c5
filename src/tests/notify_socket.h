#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ozra::tests {

// A datagram socket in the role of the service manager's notification socket: each datagram holds
// assignments such as "READY=1", one a line.
class CNotifySocket {
public:
    using Match = std::function<bool(const std::string& assignment)>;

    explicit CNotifySocket(std::string path);
    ~CNotifySocket();
    CNotifySocket(const CNotifySocket&) = delete;
    CNotifySocket& operator=(const CNotifySocket&) = delete;

    const std::string& Path() const { return mPath; }
    // The first assignment after the last one returned that matches, waiting for datagrams up to the timeout.
    std::optional<std::string> WaitFor(const Match& match,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(20));
    const std::vector<std::string>& Assignments() const { return mAssignments; }

private:
    std::string mPath;
    int mSocket = -1;
    std::vector<std::string> mAssignments;
    std::size_t mNext = 0;
};

}  // namespace ozra::tests
