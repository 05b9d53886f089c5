#include <fnmatch.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "core/core.h"
#include "core/http/client.h"
#include "core/tests/test_support.h"
#include "daemon_site.h"
#include "device-frame.h"
#include "kelt_fixture.h"

namespace ozra::tests {
namespace {

using namespace std::chrono_literals;

// A datagram socket in the role of the service manager's notification socket: each datagram holds
// assignments such as "READY=1", one a line.
struct CNotifySocket {
    explicit CNotifySocket(std::string path) : mPath(std::move(path)) {
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, mPath.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(bind(mSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0) << mPath;
    }
    ~CNotifySocket() {
        close(mSocket);
        unlink(mPath.c_str());
    }

    // Whether an assignment after the last match matches the shell wildcard pattern, waiting for datagrams
    // up to the timeout.
    bool WaitFor(const std::string& pattern, std::chrono::milliseconds timeout = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            while (mNext < mAssignments.size()) {
                if (fnmatch(pattern.c_str(), mAssignments[mNext++].c_str(), 0) == 0) {
                    return true;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd descriptor{mSocket, POLLIN, 0};
            char buffer[4096];
            const ssize_t size = poll(&descriptor, 1, static_cast<int>(std::max<long>(left.count(), 0))) > 0
                                     ? recv(mSocket, buffer, sizeof(buffer), 0)
                                     : 0;
            if (size <= 0) {
                return false;
            }
            std::istringstream lines(std::string(buffer, static_cast<std::size_t>(size)));
            for (std::string line; std::getline(lines, line);) {
                mAssignments.push_back(line);
            }
        }
    }

    std::string mPath;
    int mSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::vector<std::string> mAssignments;
    std::size_t mNext = 0;
};

using namespace ozra::test;

const std::string clock_time = "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]";

std::string Counts(const std::string& counts) {
    return "STATUS=4 tags: " + counts + "; server ok; last re-read " + clock_time;
}

// A series ("name" or "name{labels}") of the metrics with its value, or its least value.
struct Sampled {
    std::string series;
    double value;
    bool atLeast = false;
};

// The daemon run by a service manager, with a notification socket in NOTIFY_SOCKET, against a site serving
// no zones and the associated tags t1..t3 and the unassociated tag u1, all with stored statuses.
class ServiceTest : public ::testing::Test, public CServedSite {
protected:
    ServiceTest() {
        unsetenv("WATCHDOG_USEC");
        unsetenv("WATCHDOG_PID");
        setenv("NOTIFY_SOCKET", mNotify.mPath.c_str(), 1);
        mServer->set_trackable_objects(data::Array(
            {data::Trackable("t1"), data::Trackable("t2"), data::Trackable("t3"), data::Unassociated("u1")}));
        mServer->set_download_statuses(
            data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED"),
                         data::Status("t3", "OUTDATED"), data::Status("u1", "OOSYNC")}));
    }

    ~ServiceTest() override { unsetenv("NOTIFY_SOCKET"); }

    ::testing::AssertionResult Logged(bool passed) const {
        return passed ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << mDaemon->Log();
    }

    ::testing::AssertionResult Told(const std::string& match) { return Logged(mNotify.WaitFor(match)); }

    // Publishes the messages again and again (the daemon subscribes late) until a matching assignment
    // arrives.
    ::testing::AssertionResult PublishUntil(const std::string& topic,
                                            const std::vector<std::string>& messages,
                                            const std::string& match) {
        return Logged(libs::core::testing::publish_until(
            *mLoop,
            [&] {
                for (const std::string& message : messages) {
                    mProxy.publish(topic, message);
                }
            },
            [&] { return mNotify.WaitFor(match, 0ms); }));
    }

    // Scrapes the metrics until every series has its value.
    ::testing::AssertionResult Metrics(const std::vector<Sampled>& expected) {
        std::string text;
        const bool met = Eventually([&] {
            text = mLoop->create_http_client(mSite.MetricsUrl(), 5s)
                       ->perform_request(libs::core::http::method::get, "")
                       .data()
                       .value_or("");
            return std::all_of(expected.begin(), expected.end(), [&](const Sampled& e) {
                const std::size_t line = text.find("\n" + e.series + " ");
                const double sample =
                    line == std::string::npos ? -1 : std::stod(text.substr(line + e.series.size() + 2));
                return sample == e.value || (e.atLeast && sample > e.value);
            });
        });
        return met ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << text;
    }

    ::testing::AssertionResult Posted(const std::string& uid, const std::string& hex) {
        const std::string body = R"({"uid":")" + uid + R"(","data":{"hex":")" + hex + R"("}})";
        return Logged(
            mServer->wait_for_request([&](const auto& request) { return request.body == body; }, 20s)
                .has_value());
    }

    void Publish(const std::string& reply) { mProxy.publish("user_msg", reply); }

    libs::core::logger mLogger{"varnok-test", "main"};
    std::unique_ptr<libs::core::core> mCore = libs::core::core::create(mLogger);
    std::unique_ptr<libs::core::events_loop> mLoop = mCore->create_events_loop("main");
    CNotifySocket mNotify{mSite.Directory() + "/notify"};
    std::unique_ptr<CDaemon> mDaemon;
};

TEST_F(ServiceTest, StatusLineAndMetricsFollowTheTagsTheDownloadsAndTheServer) {
    mDaemon = mSite.Start(R"({"metrics":{"listen":"127.0.0.1:0"}})");
    ASSERT_TRUE(Told("READY=1"));
    EXPECT_TRUE(Told(Counts("0 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 1 OOSYNC, 3 UNKNOWN")));
    // Each unknown tag is asked for its CRC.
    EXPECT_TRUE(Metrics({{"varnok_tags{status=\"UNKNOWN\"}", 3},
                         {"varnok_tags{status=\"OOSYNC\"}", 1},
                         {"varnok_last_resync_timestamp_seconds", 1, true},
                         {"varnok_server_request_duration_seconds_count{resource=\"zones\"}", 1, true},
                         {"varnok_frames_sent_total", 3, true}}));

    // No zones: a device holding none answers the CRC 0xFFFF; t2 and t3 answer another.
    EXPECT_TRUE(PublishUntil("user_msg",
                             {Reply("t1", CrcRecord(frame::CMD_CRC_RESPONSE, 0xFFFF)),
                              Reply("t2", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234)),
                              Reply("t3", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234))},
                             Counts("1 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 3 OOSYNC")));
    EXPECT_TRUE(Metrics({{"varnok_device_replies_total", 3, true}}));

    // t2 is erased and confirms the empty table's CRC; t3 rejects its download.
    for (const std::string uid : {"t2", "t3"}) {
        mProxy.publish("notify", R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":)"
                                 R"({"zone_download_request":[{"trackable_uid":")" +
                                     uid + R"("}]}})");
        ASSERT_TRUE(Posted(uid, ozra::test::download_request));
    }
    Publish(Reply("t2", CodeRecord(frame::CMD_RESPONSE_DOWNLOAD_REQUEST, 0)));
    Publish(Reply("t3", CodeRecord(frame::CMD_RESPONSE_DOWNLOAD_REQUEST, 1)));
    ASSERT_TRUE(Posted("t2", frame::Command(frame::CMD_ERASE_ALL)));
    Publish(Reply("t2", CodeRecord(frame::CMD_ERASE_ALL_CONFIRM, 0)));
    ASSERT_TRUE(Posted("t2", frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, 0xFFFF)));
    Publish(Reply("t2", CrcRecord(frame::CMD_DOWNLOAD_COMPLETE_CONFIRM, 0xFFFF)));
    EXPECT_TRUE(Told(Counts("2 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 2 OOSYNC")));
    EXPECT_TRUE(Metrics({{"varnok_downloads_completed_total", 1},
                         {"varnok_downloads_failed_total", 1},
                         {"varnok_frames_failed_total", 0},
                         {"varnok_background_queue_depth", 0},
                         {"varnok_server_requests_total{outcome=\"ok\",resource=\"status_report\"}", 1, true},
                         {"varnok_server_up", 1}}));

    // A zone change makes every processing run read the server again until it succeeds.
    mServer->set_fault({503, false, {}});
    EXPECT_TRUE(PublishUntil("notify", {R"({"object":"ZONE"})"},
                             "STATUS=4 tags: *; server error since " + clock_time + "; last re-read *"));
    EXPECT_TRUE(Metrics({{"varnok_server_up", 0},
                         {"varnok_server_requests_total{outcome=\"error\",resource=\"zones\"}", 1, true}}));
    mServer->clear_faults();
    EXPECT_TRUE(Told("STATUS=4 tags: *; server ok; last re-read " + clock_time));
    EXPECT_TRUE(Metrics({{"varnok_server_up", 1}}));

    EXPECT_EQ(mDaemon->Stop(), 0) << mDaemon->Log();
    EXPECT_TRUE(Told("STOPPING=1"));
    EXPECT_EQ(std::count(mNotify.mAssignments.begin(), mNotify.mAssignments.end(), "WATCHDOG=1"), 0);
}

// The first daemon is stopped while it waits for the server, the second pings the watchdog once ready.
TEST_F(ServiceTest, TellsTheStartUpWaitAndItsStopThenPingsTheWatchdog) {
    setenv("WATCHDOG_USEC", "3000000", 1);
    mServer->stop_listening();
    mDaemon = mSite.Start();
    ASSERT_TRUE(Told("STATUS=waiting for the server: *curl_easy_perform failed: *"));
    EXPECT_EQ(mDaemon->Stop(), 1) << mDaemon->Log();
    EXPECT_TRUE(Told("STOPPING=1"));
    EXPECT_NE(mDaemon->Log().find("Interrupted"), std::string::npos) << mDaemon->Log();
    EXPECT_EQ(mDaemon->Log().find("exit\n"), std::string::npos);
    EXPECT_EQ(std::count(mNotify.mAssignments.begin(), mNotify.mAssignments.end(), "READY=1"), 0);

    mServer->resume_listening();
    mDaemon = mSite.Start();
    ASSERT_TRUE(Told("READY=1"));
    EXPECT_TRUE(Told("WATCHDOG=1") && Told("WATCHDOG=1"));
    EXPECT_EQ(mDaemon->Stop(), 0) << mDaemon->Log();
    EXPECT_TRUE(Told("STOPPING=1"));
}

}  // namespace
}  // namespace ozra::tests
