#include <gtest/gtest.h>

#include <fnmatch.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "daemon_site.h"
#include "kelt_fixture.h"
#include "notify_socket.h"

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

// The daemon run by a service manager: a notification socket in NOTIFY_SOCKET.
class ServiceNotificationTest : public ::testing::Test {
protected:
    ServiceNotificationTest() {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        unsetenv("WATCHDOG_USEC");
        unsetenv("WATCHDOG_PID");
        setenv("NOTIFY_SOCKET", mNotify.Path().c_str(), 1);
        mServed.ServeTagsWithoutZones();
    }

    ~ServiceNotificationTest() override {
        unsetenv("NOTIFY_SOCKET");
        unsetenv("WATCHDOG_USEC");
    }

    bool PublishUntil(const std::string& topic, const std::vector<std::string>& messages,
                      const Match& match) {
        return mServed.PublishUntil(topic, messages, [&] {
            return mNotify.WaitFor(match, std::chrono::milliseconds(0)).has_value();
        });
    }

    void ExpectStoppingAndExit(CDaemon& daemon, int status) {
        EXPECT_EQ(daemon.Stop(), status) << daemon.Log();
        EXPECT_TRUE(mNotify.WaitFor(Is("STOPPING=1"))) << daemon.Log();
    }

    CServedSite mServed;
    CNotifySocket mNotify{mServed.mSite.Directory() + "/notify"};
};

TEST_F(ServiceNotificationTest, ReportsReadinessTagCountsServerHealthAndStopping) {
    auto daemon = mServed.mSite.Start();
    ASSERT_TRUE(mNotify.WaitFor(Is("READY=1"))) << daemon->Log();
    EXPECT_TRUE(
        mNotify.WaitFor(Status("4 tags: 0 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 1 OOSYNC, 3 UNKNOWN; "
                               "server ok; last re-read " +
                               clock_time)))
        << daemon->Log();

    // No zones: a device holding none answers the CRC 0xFFFF.
    EXPECT_TRUE(PublishUntil("user_msg",
                             {ozra::test::Reply("t1", ozra::test::CrcRecord(0x04, 0xFFFF)),
                              ozra::test::Reply("t2", ozra::test::CrcRecord(0x04, 0x1234))},
                             Status("4 tags: 1 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 2 OOSYNC, 1 UNKNOWN; "
                                    "server ok; last re-read " +
                                    clock_time)))
        << daemon->Log();

    varnok::test_tools::response_fault unavailable;
    unavailable.status = 503;
    mServed.mServer->set_fault(unavailable);
    EXPECT_TRUE(PublishUntil("notify", {R"({"object":"ZONE"})"},
                             Status("4 tags: *; server error since " + clock_time + "; last re-read *")))
        << daemon->Log();
    mServed.mServer->clear_faults();
    EXPECT_TRUE(mNotify.WaitFor(Status("4 tags: *; server ok; last re-read " + clock_time))) << daemon->Log();

    ExpectStoppingAndExit(*daemon, 0);
    for (const std::string& assignment : mNotify.Assignments()) {
        EXPECT_NE(assignment, "WATCHDOG=1") << "no watchdog interval was set";
    }
}

TEST_F(ServiceNotificationTest, TellsTheStartUpWaitThenPingsTheWatchdog) {
    setenv("WATCHDOG_USEC", "3000000", 1);
    mServed.mServer->stop_listening();
    auto daemon = mServed.mSite.Start();
    EXPECT_TRUE(mNotify.WaitFor(Status("waiting for the server: *curl_easy_perform failed: *")))
        << daemon->Log();
    mServed.mServer->resume_listening();
    ASSERT_TRUE(mNotify.WaitFor(Is("READY=1"))) << daemon->Log();
    EXPECT_TRUE(mNotify.WaitFor(Is("WATCHDOG=1"))) << daemon->Log();
    EXPECT_TRUE(mNotify.WaitFor(Is("WATCHDOG=1"))) << daemon->Log();
    ExpectStoppingAndExit(*daemon, 0);
}

TEST_F(ServiceNotificationTest, ASignalDuringTheStartUpWaitTellsOfTheStop) {
    mServed.mServer->stop_listening();
    auto daemon = mServed.mSite.Start();
    ASSERT_TRUE(mNotify.WaitFor(Status("waiting for the server: *"))) << daemon->Log();
    ExpectStoppingAndExit(*daemon, 1);
    EXPECT_NE(daemon->Log().find("Interrupted"), std::string::npos) << daemon->Log();
    EXPECT_EQ(daemon->Log().find("exit\n"), std::string::npos);
    for (const std::string& assignment : mNotify.Assignments()) {
        EXPECT_NE(assignment, "READY=1");
    }
}

}  // namespace
}  // namespace ozra::tests
