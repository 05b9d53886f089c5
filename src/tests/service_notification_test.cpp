#include <gtest/gtest.h>

#include <fnmatch.h>
#include <json/value.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "core/tests/test_support.h"
#include "daemon_site.h"
#include "device-frame.h"
#include "http_test_client.h"
#include "kelt_fixture.h"

namespace ozra::tests {
namespace {

using Match = std::function<bool(const std::string& assignment)>;

// A datagram socket in the role of the service manager's notification socket: each datagram holds
// assignments such as "READY=1", one a line.
class CNotifySocket {
public:
    explicit CNotifySocket(std::string path) : mPath(std::move(path)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, mPath.c_str(), sizeof(address.sun_path) - 1);
        if (bind(mSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            throw std::runtime_error("notification socket " + mPath + ": " + std::strerror(errno));
        }
    }
    ~CNotifySocket() {
        close(mSocket);
        unlink(mPath.c_str());
    }

    const std::string& Path() const { return mPath; }
    const std::vector<std::string>& Assignments() const { return mAssignments; }

    // The first assignment after the last one returned that matches, waiting for datagrams up to the timeout.
    std::optional<std::string> WaitFor(const Match& match,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (; mNext < mAssignments.size(); ++mNext) {
                if (match(mAssignments[mNext])) {
                    return mAssignments[mNext++];
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
                return std::nullopt;
            }
            std::istringstream lines(std::string(buffer, static_cast<std::size_t>(size)));
            for (std::string line; std::getline(lines, line);) {
                mAssignments.push_back(line);
            }
        }
    }

private:
    std::string mPath;
    int mSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::vector<std::string> mAssignments;
    std::size_t mNext = 0;
};

using ozra::test::CodeRecord;
using ozra::test::CrcRecord;
using ozra::test::Reply;

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

Match Counts(const std::string& counts) {
    return Status("4 tags: " + counts + "; server ok; last re-read " + clock_time);
}

// The value of a series ("name" or "name{labels}") in the metrics text; none when it is absent.
std::optional<double> Sample(const std::string& text, const std::string& series) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, series.size() + 1, series + " ") == 0) {
            return std::stod(line.substr(series.size() + 1));
        }
    }
    return std::nullopt;
}

std::string DownloadRequestFor(const std::string& uid) {
    return R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":{"zone_download_request":[{"trackable_uid":")" +
           uid + R"("}]}})";
}

// The daemon run by a service manager, with a notification socket in NOTIFY_SOCKET, against a site serving
// no zones and the associated tags t1..t3 and the unassociated tag u1, all with stored statuses.
class ServiceTest : public ::testing::Test {
protected:
    ServiceTest() {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        unsetenv("WATCHDOG_USEC");
        unsetenv("WATCHDOG_PID");
        setenv("NOTIFY_SOCKET", mNotify.Path().c_str(), 1);
        namespace data = ozra::test::data;
        mServed.mServer->set_zone_types(Json::Value(Json::arrayValue));
        mServed.mServer->set_zones(Json::Value(Json::arrayValue));
        mServed.mServer->set_trackable_objects(data::Array(
            {data::Trackable("t1"), data::Trackable("t2"), data::Trackable("t3"), data::Unassociated("u1")}));
        mServed.mServer->set_download_statuses(
            data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED"),
                         data::Status("t3", "OUTDATED"), data::Status("u1", "OOSYNC")}));
    }

    ~ServiceTest() override {
        unsetenv("NOTIFY_SOCKET");
        unsetenv("WATCHDOG_USEC");
    }

    // Publishes the messages on the topic again and again, as the daemon subscribes some time after it
    // connects, until a matching assignment arrives.
    bool PublishUntil(const std::string& topic, const std::vector<std::string>& messages,
                      const Match& match) {
        const auto publish = [&] {
            for (const std::string& message : messages) {
                mServed.mProxy.publish(topic, message);
            }
        };
        return libs::core::testing::publish_until(*mLoop, publish, [&] {
            return mNotify.WaitFor(match, std::chrono::milliseconds(0)).has_value();
        });
    }

    // Scrapes the metrics until the series has the value, or at least the value.
    bool WaitForSample(const std::string& series, double value, bool atLeast = false) {
        return Eventually([&] {
            mScraped = mClient.call("GET", mServed.mSite.MetricsUrl()).body;
            const std::optional<double> sample = Sample(mScraped, series);
            return sample && (*sample == value || (atLeast && *sample > value));
        });
    }

    bool WaitForFrame(const std::string& uid, const std::string& hex) {
        return mServed.mServer
            ->wait_for_request(
                [&](const varnok::test_tools::recorded_request& request) {
                    return request.path == varnok::test_tools::rest_paths::user_msg &&
                           request.body.find("\"" + uid + "\"") != std::string::npos &&
                           request.body.find("\"" + hex + "\"") != std::string::npos;
                },
                std::chrono::seconds(20))
            .has_value();
    }

    void Publish(const std::string& json) { mServed.mProxy.publish("user_msg", json); }

    void ExpectStoppingAndExit(CDaemon& daemon, int status) {
        EXPECT_EQ(daemon.Stop(), status) << daemon.Log();
        EXPECT_TRUE(mNotify.WaitFor(Is("STOPPING=1"))) << daemon.Log();
    }

    libs::core::logger mLogger{"varnok-test", "main"};
    std::unique_ptr<libs::core::core> mCore = libs::core::core::create(mLogger);
    std::unique_ptr<libs::core::events_loop> mLoop = mCore->create_events_loop("main");
    CServedSite mServed;
    CNotifySocket mNotify{mServed.mSite.Directory() + "/notify"};
    varnok::test_tools::http_test_client mClient;
    std::string mScraped;
};

TEST_F(ServiceTest, StatusLineAndMetricsFollowTheTagsTheDownloadsAndTheServer) {
    auto daemon =
        mServed.mSite.Start([](Json::Value& document) { document["metrics"]["listen"] = "127.0.0.1:0"; });
    ASSERT_TRUE(mNotify.WaitFor(Is("READY=1"))) << daemon->Log();
    EXPECT_TRUE(mNotify.WaitFor(Counts("0 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 1 OOSYNC, 3 UNKNOWN")))
        << daemon->Log();
    ASSERT_TRUE(WaitForSample("varnok_tags{status=\"UNKNOWN\"}", 3)) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_tags{status=\"OOSYNC\"}"), 1);
    EXPECT_GT(Sample(mScraped, "varnok_last_resync_timestamp_seconds").value_or(0), 0);
    EXPECT_GE(
        Sample(mScraped, "varnok_server_request_duration_seconds_count{resource=\"zones\"}").value_or(0), 1);
    // Each unknown tag is asked for its CRC.
    EXPECT_TRUE(WaitForSample("varnok_frames_sent_total", 3, true)) << mScraped;

    // No zones: a device holding none answers the CRC 0xFFFF; t2 and t3 answer another.
    EXPECT_TRUE(PublishUntil("user_msg",
                             {Reply("t1", CrcRecord(frame::CMD_CRC_RESPONSE, 0xFFFF)),
                              Reply("t2", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234)),
                              Reply("t3", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234))},
                             Counts("1 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 3 OOSYNC")))
        << daemon->Log();
    EXPECT_TRUE(WaitForSample("varnok_device_replies_total", 3, true)) << mScraped;

    // t2 is erased and confirms the empty table's CRC; t3 rejects its download.
    mServed.mProxy.publish("notify", DownloadRequestFor("t2"));
    mServed.mProxy.publish("notify", DownloadRequestFor("t3"));
    ASSERT_TRUE(WaitForFrame("t2", ozra::test::download_request));
    ASSERT_TRUE(WaitForFrame("t3", ozra::test::download_request));
    Publish(Reply("t2", CodeRecord(frame::CMD_RESPONSE_DOWNLOAD_REQUEST, 0)));
    Publish(Reply("t3", CodeRecord(frame::CMD_RESPONSE_DOWNLOAD_REQUEST, 1)));
    ASSERT_TRUE(WaitForFrame("t2", frame::Command(frame::CMD_ERASE_ALL)));
    Publish(Reply("t2", CodeRecord(frame::CMD_ERASE_ALL_CONFIRM, 0)));
    ASSERT_TRUE(WaitForFrame("t2", frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, 0xFFFF)));
    Publish(Reply("t2", CrcRecord(frame::CMD_DOWNLOAD_COMPLETE_CONFIRM, 0xFFFF)));
    EXPECT_TRUE(mNotify.WaitFor(Counts("2 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 2 OOSYNC"))) << daemon->Log();
    EXPECT_TRUE(WaitForSample("varnok_downloads_completed_total", 1)) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_downloads_failed_total"), 1);
    EXPECT_EQ(Sample(mScraped, "varnok_frames_failed_total"), 0);
    EXPECT_TRUE(WaitForSample("varnok_background_queue_depth", 0)) << mScraped;
    EXPECT_TRUE(
        WaitForSample("varnok_server_requests_total{outcome=\"ok\",resource=\"status_report\"}", 1, true));
    EXPECT_EQ(Sample(mScraped, "varnok_server_up"), 1);

    // A zone change makes every processing run read the server again until it succeeds.
    varnok::test_tools::response_fault unavailable;
    unavailable.status = 503;
    mServed.mServer->set_fault(unavailable);
    EXPECT_TRUE(PublishUntil("notify", {R"({"object":"ZONE"})"},
                             Status("4 tags: *; server error since " + clock_time + "; last re-read *")))
        << daemon->Log();
    EXPECT_TRUE(WaitForSample("varnok_server_up", 0)) << mScraped;
    EXPECT_GE(
        Sample(mScraped, "varnok_server_requests_total{outcome=\"error\",resource=\"zones\"}").value_or(0),
        1);
    mServed.mServer->clear_faults();
    EXPECT_TRUE(mNotify.WaitFor(Status("4 tags: *; server ok; last re-read " + clock_time))) << daemon->Log();
    EXPECT_TRUE(WaitForSample("varnok_server_up", 1)) << mScraped;

    // A second daemon, unknown to the service manager, finds the metrics port taken.
    unsetenv("NOTIFY_SOCKET");
    const std::string taken = "127.0.0.1:" + std::to_string(mServed.mServer->port());
    auto second = mServed.mSite.Start([&](Json::Value& document) {
        document["metrics"]["listen"] = taken;
        document["system"]["pidfile"] = mServed.mSite.Directory() + "/second.pid";
    });
    EXPECT_EQ(second->WaitForExit(), 1);
    EXPECT_NE(second->Log().find("metrics.listen: cannot listen at " + taken), std::string::npos)
        << second->Log();

    ExpectStoppingAndExit(*daemon, 0);
    for (const std::string& assignment : mNotify.Assignments()) {
        EXPECT_NE(assignment, "WATCHDOG=1") << "no watchdog interval was set";
    }
}

TEST_F(ServiceTest, TellsTheStartUpWaitThenPingsTheWatchdog) {
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

TEST_F(ServiceTest, ASignalDuringTheStartUpWaitTellsOfTheStop) {
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
