#include "simulator/daemon_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace varnok::test_tools {

namespace {
constexpr std::chrono::milliseconds poll_period{50};
}

daemon_process::daemon_process(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& output_path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_path.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const int error = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
    }
}

daemon_process::~daemon_process() {
    if (!exit_status()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

std::optional<int> daemon_process::exit_status() {
    if (m_status) {
        return m_status;
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return m_status;
}

void daemon_process::signal(int number) const {
    kill(m_pid, number);
}

std::optional<int> daemon_process::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exit_status() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(poll_period);
    }
    return m_status;
}

std::optional<int> daemon_process::terminate(std::chrono::milliseconds timeout) {
    if (exit_status()) {
        return m_status;
    }
    signal(SIGTERM);
    if (!wait(timeout)) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_status = 128 + SIGKILL;
        return std::nullopt;
    }
    return m_status;
}

}  // namespace varnok::test_tools
