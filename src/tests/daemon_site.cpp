#include "daemon_site.h"

#include <cstdlib>
#include <filesystem>

#include "simulator/daemon_config.h"

namespace ozra::tests {

namespace {

// Generous: a stopping daemon may wait for its debug socket and runs under sanitizers.
constexpr std::chrono::seconds deadline{30};

}  // namespace

CDaemon::CDaemon(const std::vector<std::string>& arguments, const std::string& logPath)
    : mLogPath(logPath), mProcess(ProgramPath(), arguments, logPath) {}

std::string CDaemon::ProgramPath() {
    const char* directory = std::getenv("VARNOK_BIN_DIR");
    return (directory != nullptr ? std::string(directory)
                                 : std::filesystem::read_symlink("/proc/self/exe").parent_path().string()) +
           "/varnok";
}

bool CDaemon::WaitForLog(const std::string& text) const {
    return Eventually([&] { return Log().find(text) != std::string::npos; }, deadline);
}

int CDaemon::WaitForExit() {
    return mProcess.wait(deadline).value_or(-1);
}

int CDaemon::Stop(int signal) {
    mProcess.signal(signal);
    return WaitForExit();
}

CDaemonSite::CDaemonSite(unsigned short serverPort, unsigned short proxyPort)
    : mServerPort(serverPort), mProxyPort(proxyPort) {}

Json::Value CDaemonSite::Config(const Edit& edit) const {
    Json::Value document = ParseJson(varnok::test_tools::daemon_config_text(
        {PidFile(), mCollector.endpoint(), mProxyPort, mServerPort, {"alarm"}, ""}));
    if (edit) {
        edit(document);
    }
    return document;
}

std::string CDaemonSite::WriteConfig(const Json::Value& document) {
    const std::string path = Directory() + "/config-" + std::to_string(++mFiles) + ".json";
    WriteFile(path, document.toStyledString());
    return path;
}

std::unique_ptr<CDaemon> CDaemonSite::Run(const std::vector<std::string>& arguments) {
    return std::make_unique<CDaemon>(arguments, Directory() + "/daemon-" + std::to_string(++mFiles) + ".log");
}

}  // namespace ozra::tests
