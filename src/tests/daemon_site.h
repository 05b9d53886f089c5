#pragma once

#include <json/value.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_server/fake_location_server.h"
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

    static std::string ProgramPath();
    std::string Log() const { return ReadFile(mLogPath); }
    bool WaitForLog(const std::string& text) const {
        return Eventually([&] { return Log().find(text) != std::string::npos; }, daemon_deadline);
    }
    // The exit status (128 + the signal number after a signal), -1 when the daemon outlasts the deadline.
    int WaitForExit() { return wait(daemon_deadline).value_or(-1); }
    int Stop(int number = SIGTERM) {
        signal(number);
        return WaitForExit();
    }

private:
    std::string mLogPath;
};

using Edit = std::function<void(Json::Value&)>;

// Where the daemon runs, not launched as a service: a temporary directory and a collector of its debug
// lines, against the given location server and proxy.
class CDaemonSite {
public:
    CDaemonSite(unsigned short serverPort, unsigned short proxyPort);

    const std::string& Directory() const { return mDirectory.Path(); }
    std::string PidFile() const { return Directory() + "/varnok.pid"; }
    // A valid configuration for this site after the edit, if any.
    Json::Value Config(const Edit& edit = nullptr) const;
    std::string WriteConfig(const Json::Value& document);
    std::unique_ptr<CDaemon> Run(const std::vector<std::string>& arguments);
    std::unique_ptr<CDaemon> Start(const Edit& edit = nullptr) {
        return Run({"-c", WriteConfig(Config(edit))});
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
