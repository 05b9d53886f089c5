#include <gtest/gtest.h>

#include <fnmatch.h>
#include <json/value.h>
#include <json/writer.h>
#include <zmq.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "daemon_process.h"
#include "fake_server/fake_location_server.h"
#include "kelt_fixture.h"
#include "notify_socket.h"
#include "test_support.h"

namespace ozra::tests {
namespace {

using Match = CNotifySocket::Match;
namespace data = ozra::test::data;

const std::string clock_time = "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]";

Match Is(const std::string& assignment) {
    return [assignment](const std::string& received) { return received == assignment; };
}

// A status line matching the shell wildcard pattern.
Match Status(const std::string& pattern) {
    return [pattern = "STATUS=" + pattern](const std::string& received) {
        return fnmatch(pattern.c_str(), received.c_str(), 0) == 0;
    };
}

// The daemon run by a service manager: a notification socket in NOTIFY_SOCKET, a fake location server with
// three associated tags t1..t3 and one unassociated tag u1 (all with stored statuses, so all are tracked), no
// zones, and a proxy that this test publishes on.
class ServiceNotificationTest : public ::testing::Test {
protected:
    ServiceNotificationTest() {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        unsetenv("WATCHDOG_USEC");
        unsetenv("WATCHDOG_PID");
        setenv("NOTIFY_SOCKET", mNotify.Path().c_str(), 1);
        mCollector.bind("tcp://127.0.0.1:*");
        mProxy.bind("tcp://127.0.0.1:*");
        mServer->set_zone_types(Json::Value(Json::arrayValue));
        mServer->set_zones(Json::Value(Json::arrayValue));
        mServer->set_trackable_objects(data::Array(
            {data::Trackable("t1"), data::Trackable("t2"), data::Trackable("t3"), data::Unassociated("u1")}));
        mServer->set_download_statuses(
            data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED"),
                         data::Status("t3", "OUTDATED"), data::Status("u1", "OOSYNC")}));
    }

    ~ServiceNotificationTest() override {
        unsetenv("NOTIFY_SOCKET");
        unsetenv("WATCHDOG_USEC");
    }

    std::string WriteConfig() {
        Json::Value document = ValidConfigDocument();
        document["system"]["pidfile"] = mDirectory + "/varnok.pid";
        document["system"]["debug_port"] = mCollector.get(zmq::sockopt::last_endpoint);
        document["server"]["address"] = "127.0.0.1";
        document["server"]["port"] = mServer->port();
        const std::string proxy = mProxy.get(zmq::sockopt::last_endpoint);
        document["proxy"]["output_port"] = std::stoi(proxy.substr(proxy.rfind(':') + 1));
        const std::string path = mDirectory + "/varnok.json";
        WriteFile(path, Json::writeString(Json::StreamWriterBuilder(), document));
        return path;
    }

    // Publishes the frames again and again (a subscriber joins late) until a matching assignment arrives.
    std::optional<std::string> PublishUntil(const std::vector<std::string>& frames, const Match& match) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const std::string& frame : frames) {
                mProxy.send(zmq::buffer(frame), zmq::send_flags::none);
            }
            if (auto found = mNotify.WaitFor(match, std::chrono::milliseconds(250))) {
                return found;
            }
        }
        return std::nullopt;
    }

    void ExpectStoppingAndExit(CDaemonProcess& daemon, int status) {
        daemon.Signal(SIGTERM);
        EXPECT_TRUE(mNotify.WaitFor(Is("STOPPING=1"))) << daemon.GetError();
        EXPECT_EQ(daemon.WaitForExit(), status) << daemon.GetError();
    }

    CTemporaryDirectory mTemporary;
    const std::string mDirectory = mTemporary.Path();
    CNotifySocket mNotify{mDirectory + "/notify"};
    std::unique_ptr<varnok::test_tools::fake_location_server> mServer =
        varnok::test_tools::make_fake_location_server();
    zmq::context_t mContext;
    zmq::socket_t mCollector{mContext, zmq::socket_type::pull};
    zmq::socket_t mProxy{mContext, zmq::socket_type::pub};
};

TEST_F(ServiceNotificationTest, ReportsReadinessTagCountsServerHealthAndStopping) {
    CDaemonProcess daemon({"-c", WriteConfig()});
    ASSERT_TRUE(mNotify.WaitFor(Is("READY=1"))) << daemon.GetError();
    EXPECT_TRUE(
        mNotify.WaitFor(Status("4 tags: 0 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 1 OOSYNC, 3 UNKNOWN; "
                               "server ok; last re-read " +
                               clock_time)))
        << daemon.GetError();

    // No zones: a device holding none answers the CRC 0xFFFF.
    const std::vector<std::string> replies = {
        "#user_msg " + ozra::test::Reply("t1", ozra::test::CrcRecord(0x04, 0xFFFF)),
        "#user_msg " + ozra::test::Reply("t2", ozra::test::CrcRecord(0x04, 0x1234)),
    };
    EXPECT_TRUE(
        PublishUntil(replies, Status("4 tags: 1 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 2 OOSYNC, 1 UNKNOWN; "
                                     "server ok; last re-read " +
                                     clock_time)))
        << daemon.GetError();

    varnok::test_tools::response_fault unavailable;
    unavailable.status = 503;
    mServer->set_fault(unavailable);
    const std::vector<std::string> zone_changed = {"#notify {\"object\":\"ZONE\"}"};
    EXPECT_TRUE(PublishUntil(zone_changed,
                             Status("4 tags: *; server error since " + clock_time + "; last re-read *")))
        << daemon.GetError();
    mServer->clear_faults();
    EXPECT_TRUE(mNotify.WaitFor(Status("4 tags: *; server ok; last re-read " + clock_time)))
        << daemon.GetError();

    ExpectStoppingAndExit(daemon, 0);
    for (const std::string& assignment : mNotify.Assignments()) {
        EXPECT_NE(assignment, "WATCHDOG=1") << "no watchdog interval was set";
    }
}

TEST_F(ServiceNotificationTest, TellsTheStartUpWaitThenPingsTheWatchdog) {
    setenv("WATCHDOG_USEC", "3000000", 1);
    mServer->stop_listening();
    CDaemonProcess daemon({"-c", WriteConfig()});
    EXPECT_TRUE(mNotify.WaitFor(Status("waiting for the server: *curl_easy_perform failed: *")))
        << daemon.GetError();
    mServer->resume_listening();
    ASSERT_TRUE(mNotify.WaitFor(Is("READY=1"))) << daemon.GetError();
    EXPECT_TRUE(mNotify.WaitFor(Is("WATCHDOG=1"))) << daemon.GetError();
    EXPECT_TRUE(mNotify.WaitFor(Is("WATCHDOG=1"))) << daemon.GetError();
    ExpectStoppingAndExit(daemon, 0);
}

TEST_F(ServiceNotificationTest, ASignalDuringTheStartUpWaitTellsOfTheStop) {
    mServer->stop_listening();
    CDaemonProcess daemon({"-c", WriteConfig()});
    ASSERT_TRUE(mNotify.WaitFor(Status("waiting for the server: *"))) << daemon.GetError();
    ExpectStoppingAndExit(daemon, 1);
    EXPECT_NE(daemon.GetError().find("Interrupted"), std::string::npos) << daemon.GetError();
    EXPECT_EQ(daemon.GetOutput(), "");
    for (const std::string& assignment : mNotify.Assignments()) {
        EXPECT_NE(assignment, "READY=1");
    }
}

}  // namespace
}  // namespace ozra::tests
