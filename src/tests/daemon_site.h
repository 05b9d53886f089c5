#pragma once

#include <csignal>

#include "fake_server/fake_location_server.h"
#include "simulator/daemon_config.h"
#include "simulator/daemon_process.h"
#include "simulator/debug_collector.h"
#include "simulator/proxy_publisher.h"
#include "test_support.h"

namespace ozra::tests {

// Generous: a stopping daemon may wait for its debug socket and runs under sanitizers.
constexpr std::chrono::seconds daemon_deadline{30};

// The daemon binary of the build as a process, its standard output and error in one log file.
class CDaemon : public varnok::test_tools::daemon_process {
public:
    CDaemon(const std::vector<std::string>& arguments, const std::string& logPath)
        : daemon_process(ProgramPath(), arguments, logPath), mLogPath(logPath) {}

    static std::string ProgramPath() {
        const char* directory = std::getenv("VARNOK_BIN_DIR");
        return (directory != nullptr
                    ? std::string(directory)
                    : std::filesystem::read_symlink("/proc/self/exe").parent_path().string()) +
               "/varnok";
    }
    std::string Log() const { return ReadFile(mLogPath); }
    // The exit status (128 + the signal number after a signal), -1 when the daemon outlasts the deadline.
    int WaitForExit() { return wait(daemon_deadline).value_or(-1); }
    int Stop(int number = SIGTERM) {
        signal(number);
        return WaitForExit();
    }

private:
    std::string mLogPath;
};

// Where the daemon runs, not launched as a service: a temporary directory and a collector of its debug
// lines, against the given location server and proxy.
class CDaemonSite {
public:
    CDaemonSite(unsigned short serverPort, unsigned short proxyPort)
        : mServerPort(serverPort), mProxyPort(proxyPort) {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
    }

    const std::string& Directory() const { return mDirectory.Path(); }
    std::string PidFile() const { return Directory() + "/varnok.pid"; }
    // A valid configuration for this site after the patch, written to a new file: its path.
    std::string WriteConfig(const std::string& patch = "{}") {
        Json::Value document = ParseJson(varnok::test_tools::daemon_config_text(
            {PidFile(), mCollector.endpoint(), mProxyPort, mServerPort, {"alarm"}, ""}));
        Patch(document, ParseJson(patch));
        const std::string path = Directory() + "/config-" + std::to_string(++mFiles) + ".json";
        std::ofstream(path) << document.toStyledString();
        return path;
    }
    std::unique_ptr<CDaemon> Run(const std::vector<std::string>& arguments) {
        return std::make_unique<CDaemon>(arguments,
                                         Directory() + "/daemon-" + std::to_string(++mFiles) + ".log");
    }
    std::unique_ptr<CDaemon> Start(const std::string& patch = "{}") {
        return Run({"-c", WriteConfig(patch)});
    }
    // The metrics URL once the daemon's debug lines have named it; empty before.
    std::string MetricsUrl() const { return mCollector.metrics_url(); }

private:
    CTemporaryDirectory mDirectory;
    varnok::test_tools::debug_collector mCollector{"", 0};
    unsigned short mServerPort;
    unsigned short mProxyPort;
    int mFiles = 0;
};

// A fake location server and a proxy of the test's own, with the site of the daemon using them.
struct CServedSite {
    std::unique_ptr<varnok::test_tools::fake_location_server> mServer =
        varnok::test_tools::make_fake_location_server();
    varnok::test_tools::proxy_publisher mProxy;
    CDaemonSite mSite{mServer->port(), mProxy.port()};
};

}  // namespace ozra::tests
