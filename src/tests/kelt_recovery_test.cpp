#include <gtest/gtest.h>

#include <functional>

#include "kelt_fixture.h"

namespace ozra::test {
namespace {

namespace reason = DownloadStatusReason;
using varnok::test_tools::fake_location_server;
using varnok::test_tools::match_request;
using varnok::test_tools::response_fault;
namespace paths = varnok::test_tools::rest_paths;

constexpr std::chrono::seconds wait_limit{10};

std::string ZoneNotification() {
    return R"({"object":"ZONE"})";
}

// Makes the outstanding request of the uid older than the answer time-out.
// Makes the outstanding request of the object look sent 11 s ago.
void AgeRequest(kelt& controller, CTrackableObject& object) {
    controller.WaitForAsyncOperations();
    // Supervision learns when the server took the frame.
    controller.processing();
    object.mActivityTime.tv_sec -= 11;
}

struct BadAnswer {
    const char* name;
    std::function<void(fake_location_server&)> apply;
};

class KeltBadReReadTest : public KeltTest, public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(KeltBadReReadTest, ChangesNothingAndTheNextRunDeliversTheChange) {
    StartWithUpdatedT1();
    const std::string held = Object("t1").mZones.at("z1").mDescriptor->Hex();
    m_fake->set_zones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(ZoneNotification());
    GetParam().apply(*m_fake);
    EXPECT_ANY_THROW(m_kelt->processing());
    EXPECT_FALSE(m_kelt->IsContextActual());
    EXPECT_EQ(Object("t1").mZones.size(), 2U);
    EXPECT_EQ(Object("t1").mZones.at("z1").mDevState, DS_DOWNLOADED);
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);

    m_fake->clear_faults();
    m_fake->clear_raw_bodies();
    m_kelt->processing();
    const CZoneForDevice& z1 = Object("t1").mZones.at("z1");
    EXPECT_EQ(z1.mDevState, DS_NEED_UPDATE);
    EXPECT_EQ(z1.mOldDescriptor->Hex(), held);
    EXPECT_EQ(StoredStatus("t1"), "OUTDATED");
    EXPECT_EQ(StoredReason("t1"), "zone or trackable changed");

    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(z1)));
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(1, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
    EXPECT_EQ(Object("t1").mZones.at("z1").mDescriptor->Hex(),
              m_kelt->Zones().at("z1").GetZoneDescriptor(2, 3));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, KeltBadReReadTest,
    ::testing::Values(
        BadAnswer{"TrackablesStatus500",
                  [](fake_location_server& fake) {
                      fake.set_fault({500, false, {}}, paths::track_obj, "GET");
                  }},
        BadAnswer{"TrackablesNotJson",
                  [](fake_location_server& fake) {
                      fake.set_fault({{}, true, {}}, paths::track_obj, "GET");
                  }},
        BadAnswer{"TrackablesWithoutList",
                  [](fake_location_server& fake) { fake.set_raw_body(paths::track_obj, "{}"); }},
        BadAnswer{"ZonesAsArray", [](fake_location_server& fake) { fake.set_raw_body(paths::zones, "[]"); }},
        BadAnswer{"ZonesAsProxyError",
                  [](fake_location_server& fake) {
                      fake.set_raw_body(paths::zones, R"({"error":"bad gateway","code":502})");
                  }}),
    [](const ::testing::TestParamInfo<BadAnswer>& info) { return info.param.name; });

TEST_F(KeltTest, AZoneWhoseIdChangesIsDeletedUnderTheOldIdAndAddedUnderTheNew) {
    StartWithUpdatedT1();
    m_fake->set_zones(data::Array({data::Zone("z1", 7), data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(ZoneNotification());
    m_kelt->processing();
    RequestUpdate("t1");

    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(frame::DeleteZoneRecord(1)));
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(1, 0)));
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(Object("t1").mZones.at("z1"))));
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(7, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
    EXPECT_EQ(Object("t1").mZones.at("z1").ZoneID(), 7);
}

TEST_F(KeltTest, AZoneTakingTheIdOfAMovedZoneIsAddedOnlyAfterTheOldIdIsDeleted) {
    StartWithUpdatedT1();
    m_fake->set_zones(data::Array(
        {data::Zone("a0", 2, "alarm", 40), data::Zone("z1", 1), data::Zone("z2", 3, "alarm", 20)}));
    m_kelt->notify_handler(ZoneNotification());
    m_kelt->processing();
    RequestUpdate("t1");

    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(frame::DeleteZoneRecord(2)));
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(2, 0)));
    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(zones.at("a0")) + AddRecord(zones.at("z2"))));
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(2, 0) + ZoneReport(3, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
    EXPECT_TRUE(zones.UpToDate());
}

TEST_F(KeltTest, ADeviceAnsweringNonsenseStillReachesTheGiveUpRule) {
    StartDownloadOfChangedZone();
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    NextFrameTo("t1");
    for (int send = 1; send < 5; ++send) {
        // Not found, already received, not requested: none of them counts as an answer.
        m_kelt->user_msg_handler(Reply("t1", ZoneReport(9, 0)));
        m_kelt->user_msg_handler(Reply("t1", ZoneReport(2, 0)));
        m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x85, 0)));
        AgeRequest(*m_kelt, Object("t1"));
        m_kelt->processing();
        NextFrameTo("t1");
    }
    AgeRequest(*m_kelt, Object("t1"));
    m_kelt->processing();
    EXPECT_EQ(StoredStatus("t1"), "OOSYNC");
    EXPECT_EQ(StoredReason("t1"), "disconnected");
}

// The size of z1 when it applies again: 10 is the geometry the device holds.
class KeltZoneAppliesAgainTest : public KeltTest, public ::testing::WithParamInterface<int> {};

TEST_P(KeltZoneAppliesAgainTest, BeforeItsDeleteIsConfirmedItIsNotDeleted) {
    StartWithUpdatedT1();
    const std::string held = Object("t1").mZones.at("z1").mDescriptor->Hex();
    Json::Value inactive = data::Zone("z1", 1);
    inactive["active"] = false;
    m_fake->set_zones(data::Array({inactive, data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(ZoneNotification());
    m_kelt->processing();
    EXPECT_EQ(Object("t1").mZones.at("z1").mDevState, DS_NEED_REMOVE);

    m_fake->set_zones(
        data::Array({data::Zone("z1", 1, "alarm", GetParam()), data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(ZoneNotification());
    m_kelt->processing();
    const CZoneForDevice& z1 = Object("t1").mZones.at("z1");
    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    if (GetParam() == 10) {
        EXPECT_EQ(z1.mDevState, DS_DOWNLOADED);
    } else {
        EXPECT_EQ(z1.mDevState, DS_NEED_UPDATE);
        EXPECT_EQ(z1.mOldDescriptor->Hex(), held);
        EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(z1)));
        m_kelt->user_msg_handler(Reply("t1", ZoneReport(1, 0)));
    }
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
}

INSTANTIATE_TEST_SUITE_P(Geometry, KeltZoneAppliesAgainTest, ::testing::Values(10, 30));

TEST_F(KeltTest, AZoneOnceTooLargeIsSentAgainWhenItShrinks) {
    StartWithUpdatedT1();
    Json::Value large = data::Zone("z3", 3);
    for (int i = 0; i < 40; ++i) {
        Json::Value point;
        point["x"] = i;
        point["y"] = -i;
        large["zone_geometry"]["positions"].append(point);
    }
    m_fake->set_zones(data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20), large}));
    m_kelt->notify_handler(ZoneNotification());
    m_kelt->processing();
    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredReason("t1"), reason::TooLargeZone(3, "zone z3").String());

    // The server's request clears the mark as it clears the error counters.
    RequestUpdate("t1");
    EXPECT_FALSE(Object("t1").mZones.at("z3").mTooBig);
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();

    m_fake->set_zones(
        data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20), data::Zone("z3", 3)}));
    m_kelt->notify_handler(ZoneNotification());
    m_kelt->processing();
    EXPECT_EQ(StoredReason("t1"), "zone or trackable changed");
    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(Object("t1").mZones.at("z3"))));
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(3, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
}

TEST_F(KeltTest, UnassociatedObjectsTheServerNoLongerListsAreForgotten) {
    m_fake->set_trackable_objects(
        data::Array({data::Trackable("t1"), data::Unassociated("u1"), data::Unassociated("u2")}));
    m_fake->set_download_statuses(data::Array(
        {data::Status("t1", "UPDATED"), data::Status("u1", "OOSYNC"), data::Status("u2", "OOSYNC")}));
    Start();
    m_kelt->processing();
    ASSERT_EQ(m_kelt->UnassociatedTrObjects().mSynchronizedTOs, (std::set<std::string>{"u1", "u2"}));

    m_fake->set_trackable_objects(data::Array({data::Trackable("t1"), data::Unassociated("u2")}));
    m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"deleted"})");
    m_kelt->processing();
    EXPECT_EQ(m_kelt->UnassociatedTrObjects().mSynchronizedTOs, (std::set<std::string>{"u2"}));
    EXPECT_TRUE(m_kelt->UnassociatedTrObjects().mPendingTOs.empty());
    EXPECT_TRUE(m_fake->wait_for_request(
        match_request("DELETE", std::string(paths::zone_download_status) + "/u1"), wait_limit));
}

TEST_F(KeltTest, OneBadZoneOrTagNeverStopsTheOthers) {
    m_zone_types.insert("wide");
    m_fake->set_zone_types(data::Array({data::ZoneType("alarm", 1), data::ZoneType("wide", 500)}));
    m_fake->set_zones(data::Array({data::Zone("z1", 1), data::Zone("z9", 9, "wide")}));
    m_fake->set_download_statuses(
        data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED")}));
    Start();
    EXPECT_EQ(Object("t1").mZones.count("z9"), 0U);

    m_kelt->processing();
    for (const std::string uid : {"t1", "t2"}) {
        EXPECT_EQ(NextFrameTo(uid), frame::CrcCommand(frame::CMD_CRC_REQUEST, Object(uid).CurrentCRC(true)));
        m_kelt->user_msg_handler(Reply(uid, CrcRecord(0x04, Object(uid).CurrentCRC(false))));
    }
    m_kelt->processing();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
    EXPECT_EQ(StoredStatus("t2"), "UPDATED");
}

TEST_F(KeltTest, AReplyIsAppliedOnlyToTheTagThatSentIt) {
    Start();
    m_fake->set_raw_body(std::string(paths::track_obj) + "t3",
                         R"({"trackableObjects":[)" + data::Trackable("t2").toStyledString() + "]}");
    const std::size_t requests = m_fake->request_count();
    m_kelt->user_msg_handler(Reply("", CrcRecord(0x87, 0x1234)));
    EXPECT_EQ(m_fake->request_count(), requests);
    EXPECT_THROW(m_kelt->user_msg_handler(Reply("t3", CrcRecord(0x87, 0x1234))), libs::core::exception);
    EXPECT_EQ(m_kelt->TrObjects().count("t2"), 0U);
    EXPECT_EQ(m_kelt->TrObjects().count("t3"), 0U);
    EXPECT_EQ(UserMessageCount(), 0U);
}

}  // namespace
}  // namespace ozra::test
