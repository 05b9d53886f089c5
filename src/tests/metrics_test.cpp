#include <gtest/gtest.h>

#include <curl/curl.h>
#include <json/value.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "daemon_process.h"
#include "daemon_site.h"
#include "device-frame.h"
#include "fake_server/fake_location_server.h"
#include "kelt_fixture.h"

namespace ozra::tests {
namespace {

using ozra::test::CodeRecord;
using ozra::test::CrcRecord;
using ozra::test::Reply;

constexpr std::chrono::seconds wait_limit{30};

std::size_t AppendTo(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// The body of a GET of the url; empty when the request fails.
std::string Get(const std::string& url) {
    std::string body;
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &AppendTo);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 10L);
    return curl_easy_perform(curl.get()) == CURLE_OK ? body : std::string();
}

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
    return R"(#notify {"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":)"
           R"({"zone_download_request":[{"trackable_uid":")" +
           uid + R"("}]}})";
}

// The daemon as a process with its metrics endpoint on a free port, against a site serving tags without
// zones.
class MetricsTest : public ::testing::Test {
protected:
    MetricsTest() {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        mSite.ServeTagsWithoutZones();
    }

    ~MetricsTest() override {
        if (mDaemon) {
            mDaemon->Signal(SIGTERM);
            EXPECT_EQ(mDaemon->WaitForExit(), 0) << mDaemon->GetError();
        }
    }

    // Starts the daemon and takes the metrics URL from its log.
    void Start() {
        mDaemon = std::make_unique<CDaemonProcess>(std::vector<std::string>{
            "-c",
            mSite.WriteConfig([](Json::Value& document) { document["metrics"]["listen"] = "127.0.0.1:0"; })});
        const std::string prefix = "Metrics at ";
        ASSERT_TRUE(mDaemon->WaitForError("/metrics\n")) << mDaemon->GetError();
        const std::string& log = mDaemon->GetError();
        const std::size_t start = log.find(prefix) + prefix.size();
        mUrl = log.substr(start, log.find('\n', start) - start);
    }

    // Scrapes until the series' value passes the check, publishing the frames before each scrape (a
    // subscriber joins late); false at the deadline.
    bool WaitFor(const std::string& series, const std::function<bool(double)>& check,
                 const std::vector<std::string>& frames = {}) {
        const auto deadline = std::chrono::steady_clock::now() + wait_limit;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const std::string& frame : frames) {
                mSite.Publish(frame);
            }
            mScraped = Get(mUrl);
            const std::optional<double> value = Sample(mScraped, series);
            if (value && check(*value)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // Waits until the fake server has received the frame for the uid.
    bool WaitForFrame(const std::string& uid, const std::string& hex) {
        const auto frame = [&](const varnok::test_tools::recorded_request& request) {
            return request.path == varnok::test_tools::rest_paths::user_msg &&
                   request.body.find("\"" + uid + "\"") != std::string::npos &&
                   request.body.find("\"" + hex + "\"") != std::string::npos;
        };
        return mSite.Server().wait_for_request(frame, wait_limit).has_value();
    }

    CDaemonSite mSite;
    std::unique_ptr<CDaemonProcess> mDaemon;
    std::string mUrl;
    std::string mScraped;
};

TEST_F(MetricsTest, TagCountsFramesAndDownloadsFollowTheTags) {
    Start();
    ASSERT_TRUE(WaitFor("varnok_tags{status=\"UNKNOWN\"}", Is(3))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_tags{status=\"OOSYNC\"}"), 1);
    EXPECT_EQ(Sample(mScraped, "varnok_build_info{version=\"0.1.0\"}"), 1);
    EXPECT_GT(Sample(mScraped, "varnok_last_resync_timestamp_seconds").value_or(0), 0);
    EXPECT_GE(
        Sample(mScraped, "varnok_server_request_duration_seconds_count{resource=\"zones\"}").value_or(0), 1);
    // Each unknown tag is asked for its CRC.
    EXPECT_TRUE(WaitFor("varnok_frames_sent_total", AtLeast(3))) << mScraped;

    // No zones: a device holding none answers the CRC 0xFFFF; t2 and t3 answer another.
    ASSERT_TRUE(WaitFor("varnok_tags{status=\"OOSYNC\"}", Is(3),
                        {"#user_msg " + Reply("t1", CrcRecord(frame::CMD_CRC_RESPONSE, 0xFFFF)),
                         "#user_msg " + Reply("t2", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234)),
                         "#user_msg " + Reply("t3", CrcRecord(frame::CMD_CRC_RESPONSE, 0x1234))}))
        << mScraped;
    EXPECT_TRUE(WaitFor("varnok_tags{status=\"UPDATED\"}", Is(1))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_tags{status=\"UNKNOWN\"}"), 0);
    EXPECT_GE(Sample(mScraped, "varnok_device_replies_total").value_or(0), 3);

    // t2 is erased and confirms the empty table's CRC; t3 rejects its download.
    mSite.Publish(DownloadRequestFor("t2"));
    mSite.Publish(DownloadRequestFor("t3"));
    ASSERT_TRUE(WaitForFrame("t2", ozra::test::download_request));
    ASSERT_TRUE(WaitForFrame("t3", ozra::test::download_request));
    mSite.Publish("#user_msg " + Reply("t2", CodeRecord(frame::CMD_RESPONSE_DOWNLOAD_REQUEST, 0)));
    mSite.Publish("#user_msg " + Reply("t3", CodeRecord(frame::CMD_RESPONSE_DOWNLOAD_REQUEST, 1)));
    ASSERT_TRUE(WaitForFrame("t2", frame::Command(frame::CMD_ERASE_ALL)));
    mSite.Publish("#user_msg " + Reply("t2", CodeRecord(frame::CMD_ERASE_ALL_CONFIRM, 0)));
    ASSERT_TRUE(WaitForFrame("t2", frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, 0xFFFF)));
    mSite.Publish("#user_msg " + Reply("t2", CrcRecord(frame::CMD_DOWNLOAD_COMPLETE_CONFIRM, 0xFFFF)));
    EXPECT_TRUE(WaitFor("varnok_downloads_completed_total", Is(1))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_downloads_failed_total"), 1);
    EXPECT_TRUE(WaitFor("varnok_tags{status=\"UPDATED\"}", Is(2))) << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_tags{status=\"OOSYNC\"}"), 2);
    EXPECT_EQ(Sample(mScraped, "varnok_frames_failed_total"), 0);
    EXPECT_TRUE(WaitFor("varnok_background_queue_depth", Is(0))) << mScraped;
}

TEST_F(MetricsTest, ServerUpDropsWhileTheServerIsDownAndReturns) {
    Start();
    // The first processing run has reported u1, and nothing else is due.
    ASSERT_TRUE(
        WaitFor("varnok_server_requests_total{outcome=\"ok\",resource=\"status_report\"}", AtLeast(1)))
        << mScraped;
    EXPECT_EQ(Sample(mScraped, "varnok_server_up"), 1);
    varnok::test_tools::response_fault unavailable;
    unavailable.status = 503;
    mSite.Server().set_fault(unavailable);
    // A zone change makes every processing run read the server again until it succeeds.
    EXPECT_TRUE(WaitFor("varnok_server_up", Is(0), {"#notify {\"object\":\"ZONE\"}"})) << mScraped;
    EXPECT_GE(
        Sample(mScraped, "varnok_server_requests_total{outcome=\"error\",resource=\"zones\"}").value_or(0), 1)
        << mScraped;
    mSite.Server().clear_faults();
    EXPECT_TRUE(WaitFor("varnok_server_up", Is(1))) << mScraped;
}

TEST_F(MetricsTest, ABadAddressOrATakenPortFailsStartUp) {
    struct Case {
        std::string listen;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"localhost:9464", "Config file is invalid: metrics.listen: not host:port with a numeric host: "},
        {"127.0.0.1:" + std::to_string(mSite.Server().port()), "metrics.listen: cannot listen at 127.0.0.1:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listen);
        CDaemonProcess daemon({"-c", mSite.WriteConfig([&c](Json::Value& document) {
                                   document["metrics"]["listen"] = c.listen;
                               })});
        EXPECT_EQ(daemon.WaitForExit(), 1);
        EXPECT_NE(daemon.GetError().find(c.error), std::string::npos) << daemon.GetError();
    }
}

}  // namespace
}  // namespace ozra::tests
