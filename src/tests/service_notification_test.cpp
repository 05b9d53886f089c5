#include <gtest/gtest.h>

#include <fnmatch.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "daemon_process.h"
#include "daemon_site.h"
#include "fake_server/fake_location_server.h"
#include "kelt_fixture.h"
#include "notify_socket.h"
#include "test_support.h"

namespace ozra::tests {
namespace {

using Match = CNotifySocket::Match;

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

// The daemon run by a service manager: a notification socket in NOTIFY_SOCKET and a site serving tags without
// zones.
class ServiceNotificationTest : public ::testing::Test {
protected:
    ServiceNotificationTest() {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        unsetenv("WATCHDOG_USEC");
        unsetenv("WATCHDOG_PID");
        setenv("NOTIFY_SOCKET", mNotify.Path().c_str(), 1);
        mSite.ServeTagsWithoutZones();
    }

    ~ServiceNotificationTest() override {
        unsetenv("NOTIFY_SOCKET");
        unsetenv("WATCHDOG_USEC");
    }

    std::string WriteConfig() { return mSite.WriteConfig(); }

    // Publishes the frames again and again (a subscriber joins late) until a matching assignment arrives.
    std::optional<std::string> PublishUntil(const std::vector<std::string>& frames, const Match& match) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const std::string& frame : frames) {
                mSite.Publish(frame);
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

    CDaemonSite mSite;
    CNotifySocket mNotify{mSite.Directory() + "/notify"};
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
    mSite.Server().set_fault(unavailable);
    const std::vector<std::string> zone_changed = {"#notify {\"object\":\"ZONE\"}"};
    EXPECT_TRUE(PublishUntil(zone_changed,
                             Status("4 tags: *; server error since " + clock_time + "; last re-read *")))
        << daemon.GetError();
    mSite.Server().clear_faults();
    EXPECT_TRUE(mNotify.WaitFor(Status("4 tags: *; server ok; last re-read " + clock_time)))
        << daemon.GetError();

    ExpectStoppingAndExit(daemon, 0);
    for (const std::string& assignment : mNotify.Assignments()) {
        EXPECT_NE(assignment, "WATCHDOG=1") << "no watchdog interval was set";
    }
}

TEST_F(ServiceNotificationTest, TellsTheStartUpWaitThenPingsTheWatchdog) {
    setenv("WATCHDOG_USEC", "3000000", 1);
    mSite.Server().stop_listening();
    CDaemonProcess daemon({"-c", WriteConfig()});
    EXPECT_TRUE(mNotify.WaitFor(Status("waiting for the server: *curl_easy_perform failed: *")))
        << daemon.GetError();
    mSite.Server().resume_listening();
    ASSERT_TRUE(mNotify.WaitFor(Is("READY=1"))) << daemon.GetError();
    EXPECT_TRUE(mNotify.WaitFor(Is("WATCHDOG=1"))) << daemon.GetError();
    EXPECT_TRUE(mNotify.WaitFor(Is("WATCHDOG=1"))) << daemon.GetError();
    ExpectStoppingAndExit(daemon, 0);
}

TEST_F(ServiceNotificationTest, ASignalDuringTheStartUpWaitTellsOfTheStop) {
    mSite.Server().stop_listening();
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
