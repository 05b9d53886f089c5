#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>

#include "daemon_site.h"
#include "simulator/simulated_site.h"

namespace ozra::tests {
namespace {

using namespace std::chrono_literals;
using varnok::test_tools::simulated_site;
using varnok::test_tools::tag_view;

constexpr const char* user_msg = "/api/v2/private/user_msg/";
constexpr std::chrono::seconds patience{120};

// Ordered as the numbers are, up to 999.
std::string Uid(std::size_t tag) {
    const std::string number = std::to_string(tag);
    return "tag-" + std::string(3 - std::min<std::size_t>(number.size(), 3), '0') + number;
}

// Tags tag-1..tag-N of one project, each with a stored status (so the daemon verifies each at its first
// processing run) and holding no zones, and zones of the type "alarm" that concern every tag.
varnok::test_tools::scenario Site(std::size_t tags, std::size_t zones, bool autoUpdate = false) {
    varnok::test_tools::scenario site{"", 60, 30, 5, 5, autoUpdate, {{"alarm", 1}}, {"alarm"}, {}, {}, {}};
    for (std::size_t index = 1; index <= zones; ++index) {
        const auto x = static_cast<std::int32_t>(index * 1000);
        const std::string uid = "zone-" + std::to_string(index);
        site.zones.push_back({uid, std::uint16_t(index), uid, "alarm", "p1", 0, 0, false, true, {}, {}, {}});
        site.zones.back().points = {{x, 0}, {x + 500, 0}, {x + 500, 500}, {x, 500}};
    }
    for (std::size_t index = 1; index <= tags; ++index) {
        char mac[17];
        std::snprintf(mac, sizeof(mac), "%016llx", 0x0011223300000000ULL + index);
        site.tags.push_back({Uid(index), "p1", mac, {}, true, "UPDATED", "", {}, {}, std::nullopt});
    }
    return site;
}

// The daemon against a simulated site: every frame it posts reaches the tag's zone manager at once,
// whose reply the proxy publishes, while the server answers the daemon's requests late.
class SlowServerTest : public ::testing::Test {
protected:
    // The daemon once it has subscribed, against a site whose server answers the daemon's requests to the
    // path (all, when empty) late from the first one on.
    std::unique_ptr<CDaemon> Start(const varnok::test_tools::scenario& layout,
                                   std::chrono::milliseconds delay, const std::string& path = "",
                                   unsigned connections = 16) {
        mSite = std::make_unique<simulated_site>(layout);
        mSite->server().set_fault({std::nullopt, false, delay}, path);
        mDaemonSite = std::make_unique<CDaemonSite>(mSite->server().port(), mSite->proxy().port());
        auto daemon = mDaemonSite->Start(R"({"server":{"connections":)" + std::to_string(connections) + "}}");
        EXPECT_TRUE(Eventually([this] { return mSite->daemon_ready(); }, patience)) << daemon->Log();
        return daemon;
    }

    tag_view Tag(std::size_t tag) const { return mSite->tags().at(tag - 1); }

    bool AllReported(const std::string& status) const {
        const std::vector<tag_view> tags = mSite->tags();
        return std::all_of(tags.begin(), tags.end(),
                           [&](const tag_view& view) { return view.status == status; });
    }

    void PublishReply(std::size_t tag, const std::string& hex) {
        mSite->proxy().publish("user_msg", "{\"dev_id\":\"" + Uid(tag) + "\",\"hex\":\"" + hex + "\"}");
    }

    std::unique_ptr<simulated_site> mSite;
    std::unique_ptr<CDaemonSite> mDaemonSite;
};

TEST_F(SlowServerTest, ADownloadFromAServerAnswering20MsLateConvergesWithEveryTagUpdated) {
    // The tags hold none of their zones: a CRC mismatch, then a full download of each.
    auto daemon = Start(Site(200, 10, true), 20ms);
    EXPECT_TRUE(Eventually([this] { return AllReported("UPDATED"); }, patience)) << daemon->Log();
    for (const tag_view& view : mSite->tags()) {
        EXPECT_EQ(view.zone_ids.size(), 10U) << view.uid;
        EXPECT_EQ(view.counters.protocol_errors, 0U) << view.uid << ": " << view.counters.last_protocol_error;
    }
    EXPECT_EQ(daemon->Stop(), 0) << daemon->Log();
}

TEST_F(SlowServerTest, AFloodingTagDoesNotHoldBackAnotherTagsStatusReport) {
    auto daemon = Start(Site(2, 0), 0ms);
    ASSERT_TRUE(Eventually([this] { return AllReported("UPDATED"); }, patience)) << daemon->Log();
    mSite->server().set_answer_delay(30ms);
    // Each CRC report is acknowledged: one after the other, the acknowledges alone would take 30 s.
    for (int report = 0; report < 1000; ++report) {
        PublishReply(1, "000200048702FFFF");
    }
    // A CRC response that does not match, again until its status is reported: the proxy drops what
    // overflows its queue.
    EXPECT_TRUE(Eventually(
        [this] {
            PublishReply(2, "0002000404021234");
            return mSite->server()
                .wait_for_request(
                    [](const varnok::test_tools::recorded_request& request) {
                        return request.path == "/api/private/zone_download_status" &&
                               request.body.find("\"" + Uid(2) + "\"") != std::string::npos &&
                               request.body.find("CRC mismatch") != std::string::npos;
                    },
                    200ms)
                .has_value();
        },
        10s))
        << daemon->Log();
    EXPECT_EQ(daemon->Stop(), 0) << daemon->Log();
}

TEST_F(SlowServerTest, ATagWhoseFrameWaitedLongerThanTheAnswerTimeOutIsNotCountedSilent) {
    // One connection and a second per frame: the 13th CRC request waits 12 s, beyond the 10 s time-out.
    constexpr std::size_t tags = 13;
    auto daemon = Start(Site(tags, 0), 1s, user_msg, 1);
    ASSERT_TRUE(Eventually([&] { return Tag(tags).counters.frames_received == 1; }, patience))
        << daemon->Log();
    // Any resend was queued before this request, which reaches tag-1 after it.
    mSite->apply({0, varnok::test_tools::event_kind::verify, {}, {}, {}, {Uid(1)}});
    ASSERT_TRUE(Eventually([&] { return Tag(1).counters.frames_received == 2; }, patience)) << daemon->Log();
    for (std::size_t tag = 2; tag <= tags; ++tag) {
        EXPECT_EQ(Tag(tag).counters.frames_received, 1U) << Uid(tag);
        EXPECT_EQ(Tag(tag).status, "UPDATED") << Uid(tag);
    }
    EXPECT_EQ(daemon->Stop(), 0) << daemon->Log();
}

TEST_F(SlowServerTest, SigtermWithAFullBacklogEndsTheDaemonWithinTwoSeconds) {
    auto daemon = Start(Site(20, 0), 2s, user_msg, 1);
    ASSERT_TRUE(mSite->server().wait_for_request(varnok::test_tools::match_request("POST", user_msg), 20s));
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(daemon->Stop(), 0) << daemon->Log();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 2s);
    EXPECT_THAT(daemon->Log(), ::testing::HasSubstr("requests to the server dropped unsent"));
}

}  // namespace
}  // namespace ozra::tests
