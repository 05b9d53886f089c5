#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "daemon_process.h"
#include "simulator/daemon_config.h"
#include "simulator/debug_collector.h"
#include "simulator/simulated_site.h"

namespace ozra::tests {
namespace {

using namespace std::chrono_literals;
using varnok::test_tools::response_fault;
using varnok::test_tools::scenario;
using varnok::test_tools::simulated_site;
using varnok::test_tools::tag_view;

constexpr const char* user_msg = "/api/v2/private/user_msg/";

std::string Uid(std::size_t tag) {
    return "tag-" + std::to_string(tag);
}

// Tags tag-1..tag-N of one project, each with a stored status (so the daemon verifies each at its first
// processing run) and holding no zones, and zones of the type "alarm" that concern every tag.
scenario Site(std::size_t tags, std::size_t zones, bool autoUpdate = false) {
    scenario site;
    site.auto_update = autoUpdate;
    site.zone_types = {{"alarm", 1}};
    site.configured_zone_types = {"alarm"};
    for (std::size_t index = 1; index <= zones; ++index) {
        varnok::test_tools::zone_spec zone;
        zone.uid = "zone-" + std::to_string(index);
        zone.zone_id = static_cast<std::uint16_t>(index);
        zone.name = zone.uid;
        zone.type = "alarm";
        zone.project_uid = "p1";
        const auto x = static_cast<std::int32_t>(index * 1000);
        zone.points = {{x, 0}, {x + 500, 0}, {x + 500, 500}, {x, 500}};
        site.zones.push_back(zone);
    }
    for (std::size_t index = 1; index <= tags; ++index) {
        varnok::test_tools::tag_spec tag;
        tag.uid = Uid(index);
        tag.project_uid = "p1";
        std::ostringstream mac;
        mac << std::hex << (0x0011223300000000ULL + index);
        tag.mac = std::string(16 - mac.str().size(), '0') + mac.str();
        tag.stored_status = "UPDATED";
        site.tags.push_back(tag);
    }
    return site;
}

// Holds until the condition is true; false when it is not by the deadline.
bool Eventually(const std::function<bool()>& condition, std::chrono::seconds deadline = 120s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// The daemon against a simulated site: every frame it posts reaches the tag's zone manager at once,
// whose reply the proxy publishes, while the server answers the daemon's requests late.
class SlowServerTest : public ::testing::Test {
protected:
    SlowServerTest() {
        unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
        char pattern[] = "/tmp/varnok_slow_server.XXXXXX";
        mDirectory = mkdtemp(pattern);
    }
    ~SlowServerTest() override {
        mSite.reset();
        std::filesystem::remove_all(mDirectory);
    }

    // Starts the daemon on the site made from the layout and waits until it has subscribed.
    std::unique_ptr<CDaemonProcess> Start(std::size_t connections = 16) {
        varnok::test_tools::daemon_settings settings;
        settings.pid_file = mDirectory + "/varnok.pid";
        settings.debug_endpoint = mCollector.endpoint();
        settings.proxy_port = mSite->proxy().port();
        settings.server_port = mSite->server().port();
        settings.zone_types = {"alarm"};
        Json::Value config;
        std::istringstream text(varnok::test_tools::daemon_config_text(settings));
        text >> config;
        config["server"]["connections"] = static_cast<Json::UInt>(connections);
        const std::string path = mDirectory + "/varnok.json";
        std::ofstream(path) << Json::writeString(Json::StreamWriterBuilder(), config);
        auto daemon = std::make_unique<CDaemonProcess>(std::vector<std::string>{"-c", path});
        EXPECT_TRUE(Eventually([this] { return mSite->daemon_ready(); })) << daemon->GetError();
        return daemon;
    }

    // The site exists before the daemon starts, so that its delays hold from the first request on.
    void MakeSite(const scenario& layout) { mSite = std::make_unique<simulated_site>(layout); }

    void DelayUserMessages(std::chrono::milliseconds delay) {
        response_fault late;
        late.delay = delay;
        mSite->server().set_fault(late, user_msg, "POST");
    }

    tag_view Tag(std::size_t tag) const {
        for (const tag_view& view : mSite->tags()) {
            if (view.uid == Uid(tag)) {
                return view;
            }
        }
        return {};
    }

    bool AllReported(const std::string& status) const {
        for (const tag_view& view : mSite->tags()) {
            if (view.status != status) {
                return false;
            }
        }
        return true;
    }

    void PublishReply(std::size_t tag, const std::string& hex) {
        mSite->proxy().publish("user_msg", "{\"dev_id\":\"" + Uid(tag) + "\",\"hex\":\"" + hex + "\"}");
    }

    void ExpectCleanStop(CDaemonProcess& daemon) {
        daemon.Signal(SIGTERM);
        EXPECT_EQ(daemon.WaitForExit(), 0) << daemon.GetError();
    }

    std::string mDirectory;
    // Takes the debug lines as they come, so that none is left for the daemon's exit to wait for.
    varnok::test_tools::debug_collector mCollector{"", 0};
    std::unique_ptr<simulated_site> mSite;
};

TEST_F(SlowServerTest, ADownloadFromAServerAnswering20MsLateConvergesWithEveryTagUpdated) {
    // The tags hold none of their zones: a CRC mismatch, then a full download of each.
    MakeSite(Site(200, 10, true));
    mSite->server().set_answer_delay(20ms);
    auto daemon = Start();
    EXPECT_TRUE(Eventually([this] { return AllReported("UPDATED"); })) << daemon->GetError();
    for (const tag_view& view : mSite->tags()) {
        EXPECT_EQ(view.zone_ids.size(), 10U) << view.uid;
        EXPECT_EQ(view.counters.protocol_errors, 0U) << view.uid << ": " << view.counters.last_protocol_error;
    }
    ExpectCleanStop(*daemon);
}

TEST_F(SlowServerTest, AFloodingTagDoesNotHoldBackAnotherTagsStatusReport) {
    MakeSite(Site(2, 0));
    auto daemon = Start();
    ASSERT_TRUE(Eventually([this] { return AllReported("UPDATED"); })) << daemon->GetError();
    mSite->server().set_answer_delay(30ms);
    // Each CRC report is acknowledged: one after the other, the acknowledges alone would take 30 s.
    for (int report = 0; report < 1000; ++report) {
        PublishReply(1, "000200048702FFFF");
    }
    // A CRC response that does not match, again until its status is reported: the proxy drops what
    // overflows its queue.
    const auto reported = [this] {
        return mSite->server()
            .wait_for_request(
                [](const varnok::test_tools::recorded_request& request) {
                    return request.path == "/api/private/zone_download_status" &&
                           request.body.find("\"tag-2\"") != std::string::npos &&
                           request.body.find("CRC mismatch") != std::string::npos;
                },
                200ms)
            .has_value();
    };
    const auto flooded = std::chrono::steady_clock::now();
    while (!reported() && std::chrono::steady_clock::now() - flooded < 10s) {
        PublishReply(2, "0002000404021234");
    }
    EXPECT_TRUE(reported()) << daemon->GetError();
    ExpectCleanStop(*daemon);
}

TEST_F(SlowServerTest, ATagWhoseFrameWaitedLongerThanTheAnswerTimeOutIsNotCountedSilent) {
    // One connection and a second per frame: the 13th CRC request waits 12 s, beyond the 10 s time-out.
    constexpr std::size_t tags = 13;
    MakeSite(Site(tags, 0));
    DelayUserMessages(1s);
    auto daemon = Start(1);
    ASSERT_TRUE(Eventually([&] { return Tag(tags).counters.frames_received == 1; })) << daemon->GetError();
    // Any resend was queued before this request, which reaches tag-1 after it.
    mSite->apply({0, varnok::test_tools::event_kind::verify, {}, {}, {}, {Uid(1)}});
    ASSERT_TRUE(Eventually([&] { return Tag(1).counters.frames_received == 2; })) << daemon->GetError();
    for (std::size_t tag = 2; tag <= tags; ++tag) {
        EXPECT_EQ(Tag(tag).counters.frames_received, 1U) << Uid(tag);
        EXPECT_EQ(Tag(tag).status, "UPDATED") << Uid(tag);
    }
    ExpectCleanStop(*daemon);
}

TEST_F(SlowServerTest, SigtermWithAFullBacklogEndsTheDaemonWithinTwoSeconds) {
    MakeSite(Site(20, 0));
    DelayUserMessages(2s);
    auto daemon = Start(1);
    ASSERT_TRUE(mSite->server().wait_for_request(varnok::test_tools::match_request("POST", user_msg), 20s));
    const auto signalled = std::chrono::steady_clock::now();
    daemon->Signal(SIGTERM);
    EXPECT_EQ(daemon->WaitForExit(), 0) << daemon->GetError();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 2s);
    EXPECT_THAT(daemon->GetError(), ::testing::HasSubstr("requests to the server dropped unsent"));
}

}  // namespace
}  // namespace ozra::tests
