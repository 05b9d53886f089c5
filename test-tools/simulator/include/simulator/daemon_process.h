#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace varnok::test_tools {

// A child process with its standard output and error appended to a file.
class daemon_process {
public:
    daemon_process(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& output_path);
    // Kills a child that is still running.
    ~daemon_process();
    daemon_process(const daemon_process&) = delete;
    daemon_process& operator=(const daemon_process&) = delete;

    pid_t pid() const { return m_pid; }
    // The exit status once the child has ended (128 + signal number after a signal).
    std::optional<int> exit_status();
    void signal(int number) const;
    // Waits for the child's end; nothing when it outlasts the timeout.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    // Sends SIGTERM and waits; kills the child and answers nothing when it outlasts the timeout.
    std::optional<int> terminate(std::chrono::milliseconds timeout);

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

}  // namespace varnok::test_tools
