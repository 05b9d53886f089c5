#include <gtest/gtest.h>

#include <optional>

#include "daemon_site.h"
#include "kelt_fixture.h"
#include "simulator/tag_zone_manager.h"

namespace ozra::tests {
namespace {

using namespace std::chrono_literals;
using varnok::test_tools::match_request;
namespace data = ozra::test::data;
namespace paths = varnok::test_tools::rest_paths;

constexpr std::chrono::seconds deadline{60};

// t1 is the only tag: every frame and every status report is t1's.
const auto frame = match_request("POST", paths::user_msg);
const auto report = match_request("POST", paths::zone_download_status);

// The daemon against zones z1 (ID 1) and z2 (ID 2) for the one tag t1, whose stored status makes it managed
// from the start. Its device is the simulator's tag model, which the test hands each frame the daemon posts
// to t1 and whose replies it publishes on the proxy.
class DaemonResyncTest : public ::testing::Test, public CServedSite {
protected:
    DaemonResyncTest() {
        mServer->set_zone_types(data::Array({data::ZoneType("alarm", 1)}));
        mServer->set_zones(data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20)}));
        mServer->set_trackable_objects(data::Array({data::Trackable("t1")}));
        mServer->set_download_statuses(data::Array({data::Status("t1", "UPDATED")}));
        mDaemon = mSite.Start();
    }

    void Notify(const std::string& json) { mProxy.publish("notify", json); }

    void RequestUpdate() {
        Notify(R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":)"
               R"({"zone_download_request":[{"trackable_uid":"t1"}]}})");
    }

    void Reply(const std::optional<std::string>& hex) {
        if (hex) {
            mProxy.publish("user_msg", R"({"dev_id":"t1","hex":")" + *hex + R"("})");
        }
    }

    // The next frame the daemon posts to t1, applied to the device: the device's reply, if any. Nothing
    // when no frame comes within the wait.
    std::optional<std::optional<std::string>> NextFrame(std::chrono::milliseconds wait) {
        if (!mServer->wait_for_requests(frame, mFramesRead + 1, wait)) {
            return std::nullopt;
        }
        const std::string body = mServer->requests(frame).at(mFramesRead++).body;
        return mDevice.receive(ParseJson(body)["data"]["hex"].asString());
    }

    std::string Stored(const char* member) const {
        const auto status = mServer->download_status("t1");
        return status ? (*status)[member].asString() : std::string();
    }

    // Answers every frame to t1 until the stored member has the value (or has another, when not equal);
    // false at the deadline.
    bool RelayUntil(const char* member, const std::string& value, bool equal = true) {
        return Eventually(
            [&] {
                Reply(NextFrame(100ms).value_or(std::nullopt));
                return (Stored(member) == value) == equal;
            },
            deadline);
    }

    // The daemon finds the empty device out of sync and downloads both zones to it.
    void DownloadBothZones() {
        ASSERT_TRUE(RelayUntil("download_status", "OOSYNC")) << mDaemon->Log();
        RequestUpdate();
        ASSERT_TRUE(RelayUntil("download_status", "UPDATED")) << mDaemon->Log();
        ASSERT_EQ(mDevice.zone_ids(), (std::vector<uint16_t>{1, 2}));
    }

    varnok::test_tools::tag_zone_manager mDevice;
    std::unique_ptr<CDaemon> mDaemon;
    std::size_t mFramesRead = 0;
};

TEST_F(DaemonResyncTest, ATagAssociatedAgainIsVerifiedAgainstEveryZone) {
    DownloadBothZones();
    mServer->set_trackable_objects(data::Array({data::Unassociated("t1")}));
    Notify(R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
    ASSERT_TRUE(RelayUntil("reason", "not associated")) << mDaemon->Log();
    mServer->set_trackable_objects(data::Array({data::Trackable("t1")}));
    Notify(R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
    ASSERT_TRUE(RelayUntil("reason", "not associated", false)) << mDaemon->Log();

    EXPECT_EQ(Stored("download_status"), "UPDATED") << Stored("reason");
    EXPECT_EQ(mDevice.zone_ids(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(mDaemon->Stop(), 0) << mDaemon->Log();
}

TEST_F(DaemonResyncTest, AZoneDeletedWhileTheFirstCrcAnswerIsOnItsWayLeavesTheDevice) {
    DownloadBothZones();
    EXPECT_EQ(mDaemon->Stop(), 0) << mDaemon->Log();

    // Started again, the daemon asks the device for its CRC; the answer is held back until the daemon
    // has read the server without z2.
    mDaemon = mSite.Start();
    const auto crcAnswer = NextFrame(deadline);
    ASSERT_TRUE(crcAnswer) << mDaemon->Log();
    const std::size_t readsBefore = mServer->requests(match_request("GET", paths::zones)).size();
    mServer->set_zones(data::Array({data::Zone("z1", 1)}));
    Notify(R"({"object":"ZONE"})");
    ASSERT_TRUE(mServer->wait_for_requests(match_request("GET", paths::zones), readsBefore + 1, deadline));
    const std::size_t reportsBefore = mServer->requests(report).size();
    Reply(*crcAnswer);
    ASSERT_TRUE(mServer->wait_for_requests(report, reportsBefore + 1, deadline));

    EXPECT_EQ(Stored("download_status") + ": " + Stored("reason"), "OUTDATED: zone or trackable changed");
    RequestUpdate();
    ASSERT_TRUE(RelayUntil("download_status", "UPDATED")) << mDaemon->Log();
    EXPECT_EQ(mDevice.zone_ids(), (std::vector<uint16_t>{1}));
    EXPECT_EQ(mDaemon->Stop(), 0) << mDaemon->Log();
}

}  // namespace
}  // namespace ozra::tests
