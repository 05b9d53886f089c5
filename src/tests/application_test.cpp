#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <json/value.h>
#include <json/writer.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zmq.hpp>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "daemon_process.h"
#include "fake_server/fake_location_server.h"
#include "test_support.h"

using ozra::tests::CDaemonProcess;
using ozra::tests::ReadFile;
using ozra::tests::WriteFile;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Logged once the daemon has synchronised with the server and runs its events loop.
const std::string ready_line = "Running";

// No process can have this id: ids are below the kernel's pid_max.
std::string UnusedPid() {
    const std::string pid_max = ReadFile("/proc/sys/kernel/pid_max");
    return pid_max.substr(0, pid_max.find('\n'));
}

// The lines the daemon's logger wrote to standard error (continuation lines of a message excluded).
std::vector<std::string> LogLines(const std::string& error) {
    std::vector<std::string> lines;
    std::istringstream stream(error);
    for (std::string line; std::getline(stream, line);) {
        if (line.rfind("varnokd: ", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// A temporary directory with a configuration whose debug socket reaches a collector of this test and whose
// server is a fake location server.
class DaemonTest : public ::testing::Test {
protected:
    DaemonTest() : mCollector(mContext, zmq::socket_type::pull) {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        mCollector.bind("tcp://127.0.0.1:*");
    }

    Json::Value ValidConfig() {
        Json::Value document = ozra::tests::ValidConfigDocument();
        document["system"]["pidfile"] = mPidFile;
        document["system"]["debug_port"] = mCollector.get(zmq::sockopt::last_endpoint);
        document["server"]["address"] = "127.0.0.1";
        document["server"]["port"] = mServer->port();
        return document;
    }

    std::string WriteConfigText(const std::string& text) {
        const std::string path = mDirectory + "/config-" + std::to_string(++mConfigCount) + ".json";
        WriteFile(path, text);
        return path;
    }

    std::string WriteConfig(const Json::Value& document) {
        return WriteConfigText(Json::writeString(Json::StreamWriterBuilder(), document));
    }

    // Starts with the configuration, checks the pid file, stops with the signal and checks the clean end.
    void ExpectRunAndCleanStop(CDaemonProcess& daemon, int signal) {
        ASSERT_TRUE(daemon.WaitForError(ready_line)) << daemon.GetError();
        EXPECT_EQ(ReadFile(mPidFile), std::to_string(daemon.GetPid()));
        daemon.Signal(signal);
        EXPECT_EQ(daemon.WaitForExit(), 0) << daemon.GetError();
        EXPECT_EQ(daemon.GetOutput(), "exit\n");
        EXPECT_EQ(ReadFile(mPidFile), std::to_string(daemon.GetPid()));
    }

    // Runs to its end and expects a failure with exactly one error line after the start line.
    void ExpectStartFailure(const std::vector<std::string>& arguments, const std::string& error) {
        CDaemonProcess daemon(arguments);
        EXPECT_EQ(daemon.WaitForExit(), 1) << daemon.GetError();
        EXPECT_EQ(daemon.GetOutput(), "");
        const std::vector<std::string> lines = LogLines(daemon.GetError());
        ASSERT_EQ(lines.size(), 2U) << daemon.GetError();
        EXPECT_THAT(lines[0], EndsWith("Starting varnokd"));
        EXPECT_THAT(daemon.GetError().substr(daemon.GetError().find(lines[1])), HasSubstr(error));
    }

    std::unique_ptr<varnok::test_tools::fake_location_server> mServer =
        varnok::test_tools::make_fake_location_server();
    zmq::context_t mContext;
    zmq::socket_t mCollector;
    ozra::tests::CTemporaryDirectory mTemporary;
    const std::string mDirectory = mTemporary.Path();
    const std::string mPidFile = mDirectory + "/varnok.pid";
    int mConfigCount = 0;
};

}  // namespace

// The pid-file rules themselves are the library's; here the daemon writes it and leaves it at the end.
TEST_F(DaemonTest, RunsUntilSigintOverwritingAStalePidFile) {
    WriteFile(mPidFile, UnusedPid());
    CDaemonProcess daemon({"-c", WriteConfig(ValidConfig())});
    ExpectRunAndCleanStop(daemon, SIGINT);
}

TEST_F(DaemonTest, TheLastConfigurationOptionWins) {
    Json::Value broken = ValidConfig();
    broken.removeMember("zone_types");
    const std::string broken_path = WriteConfig(broken);
    const std::string good_path = WriteConfig(ValidConfig());
    {
        CDaemonProcess daemon({"-c", broken_path, "ignored-argument", "-c", good_path});
        ExpectRunAndCleanStop(daemon, SIGTERM);
    }
    std::filesystem::remove(mPidFile);
    ExpectStartFailure({"-c", good_path, "-c", broken_path}, "Config file is invalid: ");
    EXPECT_FALSE(std::filesystem::exists(mPidFile));
}

TEST_F(DaemonTest, RefusesUnknownOptionsAfterTheGetoptMessage) {
    for (const auto& [option, message] : std::vector<std::pair<std::string, std::string>>{
             {"-x", "invalid option -- 'x'"}, {"-c", "option requires an argument -- 'c'"}}) {
        CDaemonProcess daemon({option});
        EXPECT_EQ(daemon.WaitForExit(), 1);
        EXPECT_THAT(daemon.GetError(), HasSubstr(message));
        EXPECT_THAT(daemon.GetError(),
                    HasSubstr("Usage: " + CDaemonProcess::ProgramPath() + " -c config_file"));
        EXPECT_THAT(daemon.GetError(), Not(HasSubstr("The configuration file is not defined!")));
    }
}

// Each failure comes before the pid file is written: the stale one stays as it is.
TEST_F(DaemonTest, StartUpFailuresLeaveThePidFileAlone) {
    const auto modified = [this](const std::function<void(Json::Value&)>& change) {
        Json::Value document = ValidConfig();
        change(document);
        return WriteConfig(document);
    };
    const std::string undefined =
        "The configuration file is not defined! Usage: " + CDaemonProcess::ProgramPath() + " -c config_file";
    const std::string parse_error = "std::exception::what(): Cannot parse json: ";
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, undefined},
        {{"-c", ""}, undefined},
        {{"plain-argument"}, undefined},
        {{"-c", mDirectory + "/missing.json"}, parse_error},
        {{"-c", WriteConfigText("")}, parse_error},
        {{"-c", mDirectory}, parse_error},
        {{"-c", modified([](Json::Value& d) { d.removeMember("system"); })}, "Config file is invalid: "},
        {{"-c", modified([](Json::Value& d) { d["system"]["debug_port"] = "no endpoint"; })},
         "Invalid argument"},
        {{"-c",
          modified([this](Json::Value& d) { d["system"]["pidfile"] = mDirectory + "/missing/varnok.pid"; })},
         "Error opening pid-file!"},
    };
    // Permissions do not keep root from reading.
    if (geteuid() != 0) {
        const std::string unreadable = WriteConfig(ValidConfig());
        chmod(unreadable.c_str(), 0);
        cases.push_back({{"-c", unreadable}, parse_error});
    }
    for (const auto& [arguments, error] : cases) {
        SCOPED_TRACE("arguments " + ::testing::PrintToString(arguments));
        WriteFile(mPidFile, UnusedPid());
        ExpectStartFailure(arguments, error);
        EXPECT_EQ(ReadFile(mPidFile), UnusedPid());
    }
}
