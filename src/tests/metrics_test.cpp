#include <gtest/gtest.h>

#include <json/value.h>

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "daemon_site.h"
#include "device-frame.h"
#include "http_test_client.h"
#include "kelt_fixture.h"

namespace ozra::tests {
namespace {

using ozra::test::CodeRecord;
using ozra::test::CrcRecord;
using ozra::test::Reply;

// The value of a series ("name" or "name{labels}") in the text format; none when it is absent.
std::optional<double> Sample(const std::string& text, const std::string& series) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, series.size() + 1, series + " ") == 0) {
            return std::stod(line.substr(series.size() + 1));
        }
    }
    return std::nullopt;
}

std::function<bool(double)> Is(double expected) {
    return [expected](double value) { return value == expected; };
}

std::function<bool(double)> AtLeast(double lowest) {
    return [lowest](double value) { return value >= lowest; };
}

std::string DownloadRequestFor(const std::string& uid) {
    return R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":)"
           R"({"zone_download_request":[{"trackable_uid":")" +
           uid + R"("}]}})";
}

// The daemon as a process with its metrics endpoint on a free port, against a site serving tags without
// zones.
class MetricsTest : public ::testing::Test {
protected:
    MetricsTest() {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        mServed.ServeTagsWithoutZones();
        mDaemon =
            mServed.mSite.Start([](Json::Value& document) { document["metrics"]["listen"] = "127.0.0.1:0"; });
    }

    ~MetricsTest() override { EXPECT_EQ(mDaemon->Stop(), 0) << mDaemon->Log(); }

    // Scrapes until the series' value passes the check, publishing the messages on the topic meanwhile.
    bool WaitFor(const std::string& series, const std::function<bool(double)>& check,
                 const std::vector<std::string>& messages = {}, const std::string& topic = "user_msg") {
        return mServed.PublishUntil(topic, messages, [&] {
            mScraped = mClient.call("GET", mServed.mSite.MetricsUrl()).body;
            const std::optional<double> value = Sample(mScraped, series);
            return value && check(*value);
        });
    }

    // Waits until the fake server has received the frame for the uid.
    bool WaitForFrame(const std::string& uid, const std::string& hex) {
        const auto frame = [&](const varnok::test_tools::recorded_request& request) {
            return request.path == varnok::test_tools::rest_paths::user_msg &&
                   request.body.find("\"" + uid + "\"") != std::string::npos &&
                   request.body.find("\"" + hex + "\"") != std::string::npos;
        };
        return mServed.mServer->wait_for_request(frame, std::chrono::seconds(20)).has_value();
    }

    void Publish(const std::string& json) { mServed.mProxy.publish("user_msg", json); }

    CServedSite mServed;
    std::unique_ptr<CDaemon> mDaemon;
    varnok::test_tools::http_test_client mClient;
    std::string mScraped;
};

TEST_F(MetricsTest, TagCountsFramesAndDownloadsFollowTheTags) {
    ASSERT_TRUE(WaitFor("varnok_tags{status=\"UNKNOWN\"}", Is(3))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_tags{status=\"OOSYNC\"}"), 1);
    EXPECT_GT(Sample(mScraped, "varnok_last_resync_timestamp_seconds").value_or(0), 0);
    EXPECT_GE(
        Sample(mScraped, "varnok_server_request_duration_seconds_count{resource=\"zones\"}").value_or(0), 1);
    // Each unknown tag is asked for its CRC.
    EXPECT_TRUE(WaitFor("varnok_frames_sent_total", AtLeast(3))) << mScraped;

    // No zones: a device holding none answers the CRC 0xFFFF; t2 and t3 answer another.
    ASSERT_TRUE(WaitFor("varnok_tags{status=\"OOSYNC\"}", Is(3),
                        {Reply("t1", CrcRecord(frame::CMD_CRC_RESPONSE, 0xFFFF)),
                         Reply("t2", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234)),
                         Reply("t3", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234))}))
        << mScraped;
    EXPECT_TRUE(WaitFor("varnok_tags{status=\"UPDATED\"}", Is(1))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_tags{status=\"UNKNOWN\"}"), 0);
    EXPECT_GE(Sample(mScraped, "varnok_device_replies_total").value_or(0), 3);

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
    EXPECT_TRUE(WaitFor("varnok_downloads_completed_total", Is(1))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_downloads_failed_total"), 1);
    EXPECT_TRUE(WaitFor("varnok_tags{status=\"UPDATED\"}", Is(2))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_tags{status=\"OOSYNC\"}"), 2);
    EXPECT_EQ(Sample(mScraped, "varnok_frames_failed_total"), 0);
    EXPECT_TRUE(WaitFor("varnok_background_queue_depth", Is(0))) << mScraped;
}

TEST_F(MetricsTest, ServerUpDropsWhileTheServerIsDownAndReturnsAndATakenPortFailsStartUp) {
    // The first processing run has reported u1, and nothing else is due.
    ASSERT_TRUE(
        WaitFor("varnok_server_requests_total{outcome=\"ok\",resource=\"status_report\"}", AtLeast(1)))
        << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_server_up"), 1);
    varnok::test_tools::response_fault unavailable;
    unavailable.status = 503;
    mServed.mServer->set_fault(unavailable);
    // A zone change makes every processing run read the server again until it succeeds.
    EXPECT_TRUE(WaitFor("varnok_server_up", Is(0), {R"({"object":"ZONE"})"}, "notify")) << mScraped;
    EXPECT_GE(
        Sample(mScraped, "varnok_server_requests_total{outcome=\"error\",resource=\"zones\"}").value_or(0), 1)
        << mScraped;
    mServed.mServer->clear_faults();
    EXPECT_TRUE(WaitFor("varnok_server_up", Is(1))) << mScraped;

    const std::string taken =
        mServed.mSite.MetricsUrl().substr(7, mServed.mSite.MetricsUrl().find("/metrics") - 7);
    auto second = mServed.mSite.Start([&](Json::Value& document) {
        document["metrics"]["listen"] = taken;
        document["system"]["pidfile"] = mServed.mSite.Directory() + "/second.pid";
    });
    EXPECT_EQ(second->WaitForExit(), 1);
    EXPECT_NE(second->Log().find("metrics.listen: cannot listen at " + taken), std::string::npos)
        << second->Log();
}

}  // namespace
}  // namespace ozra::tests
