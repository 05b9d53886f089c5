#include <gtest/gtest.h>

#include "kelt_fixture.h"

namespace ozra::test {
namespace {

using varnok::test_tools::match_request;
using varnok::test_tools::rest_paths::zone_download_status;

constexpr std::chrono::seconds wait_limit{10};

std::set<std::string> Keys(const std::map<std::string, CTrackableObject>& objects) {
    std::set<std::string> keys;
    for (const auto& [uid, object] : objects) {
        keys.insert(uid);
    }
    return keys;
}

TEST_F(KeltTest, StartUpManagesKnownObjectsWithStoredStatusesAndForgetsUnknownOnes) {
    m_fake->set_trackable_objects(
        data::Array({data::Trackable("t1"), data::Trackable("t2"), data::Unassociated("u1")}));
    m_fake->set_download_statuses(data::Array(
        {data::Status("t1", "UPDATED"), data::Status("u1", "OOSYNC"), data::Status("gone", "UPDATED")}));
    Start();

    EXPECT_EQ(Keys(m_kelt->TrObjects()), (std::set<std::string>{"t1"}));
    const CTrackableObject& t1 = Object("t1");
    EXPECT_EQ(t1.mCurDownloadStatus.mName, DLS_UNKNOWN);
    ASSERT_EQ(t1.mZones.size(), 2U);
    for (const CZoneForDevice& zone : t1.mZones) {
        EXPECT_EQ(zone.mDevState, DS_NEED_ADD) << zone.ZoneUid();
    }
    EXPECT_EQ(m_kelt->UnassociatedTrObjects().mPendingTOs, (std::set<std::string>{"u1"}));
    EXPECT_TRUE(m_fake->wait_for_request(match_request("DELETE", std::string(zone_download_status) + "/gone"),
                                         wait_limit));
    EXPECT_FALSE(m_kelt->IsContextActual());
}

TEST_F(KeltTest, ConfiguredTypesUnknownToTheServerAndUncoupledBoundariesAreLeftOut) {
    m_zone_types.insert("parking");
    m_fake->set_zones(data::Array({data::Zone("z1", 1), data::Coupled(data::Zone("in", 5, "boundary_in"), 6),
                                   data::Coupled(data::Zone("out", 6, "boundary_out"), 7),
                                   data::Zone("park", 9, "parking")}));
    Start();

    EXPECT_EQ(m_kelt->ZoneTypes().count("parking"), 0U);
    EXPECT_EQ(m_kelt->Zones().count("park"), 0U);
    // "out" names zone 7 as its couple, so neither boundary has a mutual partner.
    EXPECT_EQ(Object("t1").mZones.size(), 1U);
    EXPECT_EQ(Object("t1").mZones.count("z1"), 1U);
}

TEST_F(KeltTest, CoupledBoundariesApplyTogether) {
    m_fake->set_zones(data::Array({data::Coupled(data::Zone("in", 5, "boundary_in"), 6),
                                   data::Coupled(data::Zone("out", 6, "boundary_out"), 5)}));
    Start();
    EXPECT_EQ(Object("t1").mZones.size(), 2U);
}

TEST_F(KeltTest, FirstProcessingVerifiesEveryObjectAndReportsUnassociatedOnce) {
    m_fake->set_trackable_objects(
        data::Array({data::Trackable("t1"), data::Trackable("t2"), data::Unassociated("u1")}));
    m_fake->set_download_statuses(data::Array(
        {data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED"), data::Status("u1", "OOSYNC")}));
    Start();
    m_kelt->processing();

    for (const std::string uid : {"t1", "t2"}) {
        for (const CZoneForDevice& zone : Object(uid).mZones) {
            EXPECT_EQ(zone.mDevState, DS_DOWNLOADED);
        }
        EXPECT_EQ(NextFrameTo(uid), frame::CrcCommand(frame::CMD_CRC_REQUEST, Object(uid).CurrentCRC(true)));
    }
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x04, Object("t1").CurrentCRC(false))));
    m_kelt->user_msg_handler(Reply("t2", CrcRecord(0x04, Object("t2").CurrentCRC(false) ^ 1)));
    m_kelt->processing();

    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
    EXPECT_EQ(StoredStatus("t2"), "OOSYNC");
    EXPECT_EQ(StoredReason("t2"), "CRC mismatch");
    EXPECT_EQ(StoredStatus("u1"), "OOSYNC");
    EXPECT_EQ(StoredReason("u1"), "not associated");
    const auto reports = m_fake->requests(match_request("POST", zone_download_status));
    const auto naming_u1 = std::count_if(reports.begin(), reports.end(), [](const auto& report) {
        return report.body.find("\"u1\"") != std::string::npos;
    });
    EXPECT_EQ(naming_u1, 1);
}

TEST_F(KeltTest, AZoneChangeOutdatesAnUpdatedObjectAndKeepsTheDescriptorTheDeviceHolds) {
    StartWithUpdatedT1();
    const std::string held = Object("t1").mZones.at("z1").mDescriptor->Hex();
    m_fake->set_zones(data::Array(
        {data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20), data::Zone("z3", 3)}));
    m_kelt->notify_handler(R"({"object":"ZONE","action":"updated"})");
    EXPECT_FALSE(m_kelt->IsContextActual());
    m_kelt->processing();

    EXPECT_TRUE(m_kelt->IsContextActual());
    const CZoneForDevice& z1 = Object("t1").mZones.at("z1");
    EXPECT_EQ(z1.mDevState, DS_NEED_UPDATE);
    EXPECT_EQ(z1.mOldDescriptor->Hex(), held);
    EXPECT_NE(z1.mDescriptor->Hex(), held);
    EXPECT_EQ(Object("t1").mZones.at("z2").mDevState, DS_DOWNLOADED);
    EXPECT_EQ(Object("t1").mZones.at("z3").mDevState, DS_NEED_ADD);
    EXPECT_EQ(StoredStatus("t1"), "OUTDATED");
    EXPECT_EQ(StoredReason("t1"), "zone or trackable changed");
}

TEST_F(KeltTest, RemovedZonesAreDeletedFromDevicesOrDroppedWhenNeverSent) {
    StartWithUpdatedT1();
    m_fake->set_zones(data::Array(
        {data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20), data::Zone("z3", 3)}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_kelt->processing();
    const std::string held = Object("t1").mZones.at("z1").mOldDescriptor->Hex();

    m_fake->set_zones(Json::Value(Json::arrayValue));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_kelt->processing();

    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(zones.count("z3"), 0U);
    EXPECT_EQ(zones.at("z1").mDevState, DS_NEED_REMOVE);
    EXPECT_EQ(zones.at("z1").mDescriptor->Hex(), held);
    EXPECT_EQ(zones.at("z2").mDevState, DS_NEED_REMOVE);
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mReason.Type(), DownloadStatusReason::CHANGE);
}

TEST_F(KeltTest, ObjectsLeavingTheServerAreForgottenOrKeptAsUnassociated) {
    StartWithUpdatedT1();
    m_fake->set_trackable_objects(data::Array({data::Unassociated("t1"), data::Trackable("t2")}));
    m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"deleted"})");
    m_kelt->processing();
    EXPECT_EQ(m_kelt->TrObjects().count("t1"), 0U);
    EXPECT_EQ(StoredReason("t1"), "not associated");

    m_fake->set_trackable_objects(
        data::Array({data::Trackable("t1", "AABBCCDDEEFF"), data::Trackable("t2")}));
    m_kelt->notify_handler(
        R"({"object":"TRACKABLE_OBJECT_ASSOCIATION","action":"created","plist":{"obj_uid":"t1"}})");
    m_kelt->processing();
    ASSERT_EQ(m_kelt->TrObjects().count("t1"), 1U);
    EXPECT_EQ(Object("t1").mMacAddress, "AABBCCFFFEDDEEFF");
    EXPECT_TRUE(m_kelt->UnassociatedTrObjects().mSynchronizedTOs.empty());

    m_fake->set_trackable_objects(data::Array({data::Trackable("t2")}));
    m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"deleted"})");
    m_kelt->processing();
    EXPECT_EQ(m_kelt->TrObjects().count("t1"), 0U);
    EXPECT_TRUE(m_fake->wait_for_request(match_request("DELETE", std::string(zone_download_status) + "/t1"),
                                         wait_limit));
}

TEST_F(KeltTest, AFailedStatusReportLosesNothing) {
    StartWithUpdatedT1();
    m_fake->set_zones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_fake->set_fault({500, false, {}}, zone_download_status, "POST");
    EXPECT_ANY_THROW(m_kelt->processing());
    EXPECT_EQ(Object("t1").mDownloadStatusHistory.size(), 1U);

    m_fake->clear_faults();
    m_kelt->processing();
    EXPECT_EQ(StoredStatus("t1"), "OUTDATED");
    EXPECT_TRUE(Object("t1").mDownloadStatusHistory.empty());
}

TEST_F(KeltTest, AServerAnsweringGarbageOnlyDelaysTheReRead) {
    StartWithUpdatedT1();
    m_fake->set_zones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_fake->set_raw_body(varnok::test_tools::rest_paths::zones, "{\"zones\": [1, \"x\", {\"uid\": 5}");
    EXPECT_ANY_THROW(m_kelt->processing());
    EXPECT_EQ(Object("t1").mZones.size(), 2U);
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);

    m_fake->clear_raw_bodies();
    m_kelt->processing();
    EXPECT_EQ(Object("t1").mZones.at("z1").mDevState, DS_NEED_UPDATE);
}

TEST_F(KeltTest, ARepliedUnknownUidBecomesManagedWhenTheServerKnowsIt) {
    Start();
    m_kelt->user_msg_handler(Reply("t2", CrcRecord(0x87, 0x1234)));
    ASSERT_EQ(m_kelt->TrObjects().count("t2"), 1U);
    EXPECT_EQ(Object("t2").mCurDownloadStatus.mName, DLS_OOSYNC);
    EXPECT_EQ(Object("t2").mZones.size(), 2U);
    EXPECT_EQ(NextFrameTo("t2"),
              frame::CrcCommand(frame::CMD_CRC_ACKNOWLEDGE, Object("t2").CurrentCRC(true)));

    try {
        m_kelt->user_msg_handler(Reply("nobody", CrcRecord(0x87, 0x1234)));
        ADD_FAILURE() << "no exception";
    } catch (const libs::core::exception& e) {
        EXPECT_EQ(e.get_string_error(), "EnsureTrackableExists: could not get trackable object from server");
    }
    EXPECT_EQ(m_kelt->TrObjects().count("nobody"), 0U);
}

class KeltReassociationTest : public KeltTest {
protected:
    // t1 up to date, then unassociated and associated again; returns the CRC it asks the device for.
    uint16_t UpdatedT1AssociatedAgain() {
        StartWithUpdatedT1();
        m_fake->set_trackable_objects(data::Array({data::Unassociated("t1"), data::Trackable("t2")}));
        m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
        m_kelt->processing();
        EXPECT_EQ(StoredReason("t1"), "not associated");
        m_fake->set_trackable_objects(data::Array({data::Trackable("t1"), data::Trackable("t2")}));
        m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
        m_kelt->processing();
        EXPECT_EQ(Object("t1").mZones.size(), 2U);
        const uint16_t crc = Object("t1").CurrentCRC(true);
        EXPECT_EQ(NextFrameTo("t1"), frame::CrcCommand(frame::CMD_CRC_REQUEST, crc));
        return crc;
    }
};

TEST_F(KeltReassociationTest, ANewEmptyDeviceIsFoundOutOfSyncAndGetsEveryZone) {
    UpdatedT1AssociatedAgain();
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x04, 0xFFFF)));
    m_kelt->processing();
    EXPECT_EQ(StoredStatus("t1"), "OOSYNC");
    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo("t1"), "000100020500");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x85, 0)));
    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(zones.at("z1")) + AddRecord(zones.at("z2"))));
}

TEST_F(KeltReassociationTest, TheOldDeviceIsFoundHoldingItsZones) {
    const uint16_t held = UpdatedT1AssociatedAgain();
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x04, held)));
    m_kelt->processing();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
    ASSERT_EQ(Object("t1").mZones.size(), 2U);
    EXPECT_TRUE(Object("t1").mZones.UpToDate());
}

TEST_F(KeltTest, AZoneRemovedWhileTheFirstCrcAnswerIsOnItsWayIsStillDeleted) {
    Start();
    m_kelt->processing();
    const uint16_t held = Object("t1").CurrentCRC(false);
    EXPECT_EQ(NextFrameTo("t1"), frame::CrcCommand(frame::CMD_CRC_REQUEST, held));
    m_fake->set_zones(data::Array({data::Zone("z1", 1)}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_kelt->processing();
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x04, held)));
    m_kelt->processing();

    EXPECT_EQ(Object("t1").mZones.at("z2").mDevState, DS_NEED_REMOVE);
    EXPECT_EQ(StoredStatus("t1"), "OUTDATED");
    EXPECT_EQ(StoredReason("t1"), "zone or trackable changed");
    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(frame::DeleteZoneRecord(2)));
}

}  // namespace
}  // namespace ozra::test
