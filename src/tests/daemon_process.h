#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ozra::tests {

// The daemon binary of the build, started with the given arguments; standard output and error are captured.
class CDaemonProcess {
public:
    explicit CDaemonProcess(const std::vector<std::string>& arguments);
    ~CDaemonProcess();
    CDaemonProcess(const CDaemonProcess&) = delete;
    CDaemonProcess& operator=(const CDaemonProcess&) = delete;

    static std::string ProgramPath();

    pid_t GetPid() const { return mPid; }
    // Reads standard error until it holds the text; false when the deadline passes or the stream ends first.
    bool WaitForError(const std::string& text);
    void Signal(int number) const;
    // The exit status, 128 + the signal number when a signal ended the process, or -1 at the deadline.
    int WaitForExit();

    const std::string& GetOutput() const { return mOutput; }
    const std::string& GetError() const { return mError; }

private:
    // Waits up to the timeout for data on the open pipes and appends it; false once both have ended.
    bool ReadAvailable(int timeout_milliseconds);

    pid_t mPid = -1;
    bool mReaped = false;
    int mOutputPipe = -1;
    int mErrorPipe = -1;
    std::string mOutput;
    std::string mError;
};

}  // namespace ozra::tests
