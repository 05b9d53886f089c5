#include "daemon_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace ozra::tests {

namespace {

// Generous: a stopping daemon may wait for its debug socket and runs under sanitizers.
constexpr std::chrono::seconds deadline_span{20};

void CheckSystemCall(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
    }
}

void ClosePipe(int& descriptor) {
    if (descriptor != -1) {
        close(descriptor);
        descriptor = -1;
    }
}

}  // namespace

std::string CDaemonProcess::ProgramPath() {
    // Test programs are built beside the daemon.
    const char* directory = std::getenv("VARNOK_BIN_DIR");
    const std::filesystem::path folder = directory != nullptr
                                             ? std::filesystem::path(directory)
                                             : std::filesystem::read_symlink("/proc/self/exe").parent_path();
    return (folder / "varnok").string();
}

CDaemonProcess::CDaemonProcess(const std::vector<std::string>& arguments) {
    int output[2];
    int error[2];
    CheckSystemCall(pipe2(output, O_CLOEXEC) == 0, "pipe2");
    CheckSystemCall(pipe2(error, O_CLOEXEC) == 0, "pipe2");
    mOutputPipe = output[0];
    mErrorPipe = error[0];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error[1], STDERR_FILENO);

    const std::string program = ProgramPath();
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    const int spawned = posix_spawn(&mPid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    close(error[1]);
    if (spawned != 0) {
        ClosePipe(mOutputPipe);
        ClosePipe(mErrorPipe);
        throw std::runtime_error("posix_spawn " + program + ": " + std::strerror(spawned));
    }
}

CDaemonProcess::~CDaemonProcess() {
    if (!mReaped) {
        kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
    }
    ClosePipe(mOutputPipe);
    ClosePipe(mErrorPipe);
}

bool CDaemonProcess::ReadAvailable(int timeout_milliseconds) {
    pollfd descriptors[2] = {{mOutputPipe, POLLIN, 0}, {mErrorPipe, POLLIN, 0}};
    if (mOutputPipe == -1 && mErrorPipe == -1) {
        return false;
    }
    if (poll(descriptors, 2, timeout_milliseconds) <= 0) {
        return true;
    }
    const auto drain = [](const pollfd& descriptor, int& pipe, std::string& text) {
        if (descriptor.revents == 0) {
            return;
        }
        char buffer[4096];
        const ssize_t count = read(pipe, buffer, sizeof(buffer));
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            ClosePipe(pipe);
        }
    };
    drain(descriptors[0], mOutputPipe, mOutput);
    drain(descriptors[1], mErrorPipe, mError);
    return true;
}

bool CDaemonProcess::WaitForError(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + deadline_span;
    while (mError.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline || !ReadAvailable(100)) {
            return false;
        }
    }
    return true;
}

void CDaemonProcess::Signal(int number) const {
    CheckSystemCall(kill(mPid, number) == 0, "kill");
}

int CDaemonProcess::WaitForExit() {
    const auto deadline = std::chrono::steady_clock::now() + deadline_span;
    while (ReadAvailable(100)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
    }
    int status = 0;
    CheckSystemCall(waitpid(mPid, &status, 0) == mPid, "waitpid");
    mReaped = true;
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

}  // namespace ozra::tests
