#include <gtest/gtest.h>
#include <json/value.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/json.h"
#include "daemon_process.h"
#include "fake_server/fake_location_server.h"
#include "kelt_fixture.h"
#include "simulator/daemon_config.h"
#include "simulator/debug_collector.h"
#include "simulator/proxy_publisher.h"
#include "simulator/tag_zone_manager.h"

namespace ozra::tests {
namespace {

using varnok::test_tools::match_request;
using varnok::test_tools::recorded_request;
namespace data = ozra::test::data;
namespace paths = varnok::test_tools::rest_paths;

constexpr std::chrono::seconds deadline{60};
constexpr std::chrono::milliseconds poll_period{100};

std::string TemporaryDirectory() {
    char pattern[] = "/tmp/varnok_resync_test.XXXXXX";
    return mkdtemp(pattern);
}

bool ToT1(const recorded_request& request) {
    return request.method == "POST" && request.path == paths::user_msg &&
           libs::core::json::try_parse(request.body).result["uid"] == "t1";
}

bool ReportNamingT1(const recorded_request& request) {
    return request.method == "POST" && request.path == paths::zone_download_status &&
           request.body.find("\"t1\"") != std::string::npos;
}

// The daemon as a process against the fake location server: zones z1 (ID 1) and z2 (ID 2) for the one tag
// t1, whose stored status makes it managed from the start. Its device is the simulator's tag model, which
// the test hands each frame the daemon posts to t1 and whose replies it publishes on the proxy.
class DaemonResyncTest : public ::testing::Test {
protected:
    DaemonResyncTest() {
        mServer->set_zone_types(data::Array({data::ZoneType("alarm", 1)}));
        mServer->set_zones(data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20)}));
        mServer->set_trackable_objects(data::Array({data::Trackable("t1")}));
        mServer->set_download_statuses(data::Array({data::Status("t1", "UPDATED")}));
    }

    ~DaemonResyncTest() override {
        mDaemon.reset();
        std::filesystem::remove_all(mDirectory);
    }

    void StartDaemon() {
        const std::string config = mDirectory + "/varnok.json";
        std::ofstream(config) << varnok::test_tools::daemon_config_text(
            {mDirectory + "/varnok.pid", mCollector.endpoint(), mProxy.port(), mServer->port(), {"alarm"}, ""});
        mDaemon = std::make_unique<CDaemonProcess>(std::vector<std::string>{"-c", config});
    }

    void StopDaemon() {
        mDaemon->Signal(SIGTERM);
        EXPECT_EQ(mDaemon->WaitForExit(), 0) << mDaemon->GetError();
        mDaemon.reset();
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
    std::optional<std::optional<std::string>> NextFrame(std::chrono::milliseconds wait = poll_period) {
        if (!mServer->wait_for_requests(ToT1, mFramesRead + 1, wait)) {
            return std::nullopt;
        }
        const std::string body = mServer->requests(ToT1).at(mFramesRead++).body;
        return mDevice.receive(libs::core::json::try_parse(body).result["data"]["hex"].asString());
    }

    // Answers every frame to t1 until the condition holds; false at the deadline.
    bool RelayUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            if (const auto reply = NextFrame()) {
                Reply(*reply);
            }
        }
        return true;
    }

    bool RelayUntilStatus(const std::string& status) {
        return RelayUntil([this, status] { return StoredStatus() == status; });
    }

    std::string StoredStatus() const {
        const auto status = mServer->download_status("t1");
        return status ? (*status)["download_status"].asString() : std::string();
    }

    std::string StoredReason() const {
        const auto status = mServer->download_status("t1");
        return status ? (*status)["reason"].asString() : std::string();
    }

    // The daemon finds the empty device out of sync and downloads both zones to it.
    void DownloadBothZones() {
        ASSERT_TRUE(RelayUntilStatus("OOSYNC")) << mDaemon->GetError();
        RequestUpdate();
        ASSERT_TRUE(RelayUntilStatus("UPDATED")) << mDaemon->GetError();
        ASSERT_EQ(mDevice.zone_ids(), (std::vector<uint16_t>{1, 2}));
    }

    std::string mDirectory = TemporaryDirectory();
    std::unique_ptr<varnok::test_tools::fake_location_server> mServer =
        varnok::test_tools::make_fake_location_server();
    varnok::test_tools::proxy_publisher mProxy;
    varnok::test_tools::debug_collector mCollector{"", 0};
    varnok::test_tools::tag_zone_manager mDevice;
    std::unique_ptr<CDaemonProcess> mDaemon;
    std::size_t mFramesRead = 0;
};

TEST_F(DaemonResyncTest, ATagAssociatedAgainIsVerifiedAgainstEveryZone) {
    StartDaemon();
    DownloadBothZones();

    mServer->set_trackable_objects(data::Array({data::Unassociated("t1")}));
    Notify(R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
    ASSERT_TRUE(RelayUntil([this] { return StoredReason() == "not associated"; })) << mDaemon->GetError();
    mServer->set_trackable_objects(data::Array({data::Trackable("t1")}));
    Notify(R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
    ASSERT_TRUE(RelayUntil([this] { return StoredReason() != "not associated"; })) << mDaemon->GetError();

    EXPECT_EQ(StoredStatus(), "UPDATED") << StoredReason();
    EXPECT_EQ(mDevice.zone_ids(), (std::vector<uint16_t>{1, 2}));
    StopDaemon();
}

TEST_F(DaemonResyncTest, AZoneDeletedWhileTheFirstCrcAnswerIsOnItsWayLeavesTheDevice) {
    StartDaemon();
    DownloadBothZones();
    StopDaemon();

    // Started again, the daemon asks the device for its CRC; the answer is held back until the daemon
    // has read the server without z2.
    StartDaemon();
    const auto crcAnswer = NextFrame(deadline);
    ASSERT_TRUE(crcAnswer) << mDaemon->GetError();
    const std::size_t readsBefore = mServer->requests(match_request("GET", paths::zones)).size();
    mServer->set_zones(data::Array({data::Zone("z1", 1)}));
    Notify(R"({"object":"ZONE"})");
    ASSERT_TRUE(mServer->wait_for_requests(match_request("GET", paths::zones), readsBefore + 1, deadline));
    const std::size_t reportsBefore = mServer->requests(ReportNamingT1).size();
    Reply(*crcAnswer);
    ASSERT_TRUE(mServer->wait_for_requests(ReportNamingT1, reportsBefore + 1, deadline));

    EXPECT_EQ(StoredStatus(), "OUTDATED");
    EXPECT_EQ(StoredReason(), "zone or trackable changed");
    RequestUpdate();
    ASSERT_TRUE(RelayUntilStatus("UPDATED")) << mDaemon->GetError();
    EXPECT_EQ(mDevice.zone_ids(), (std::vector<uint16_t>{1}));
    StopDaemon();
}

}  // namespace
}  // namespace ozra::tests
