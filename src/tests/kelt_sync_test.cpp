#include <gtest/gtest.h>

#include <tuple>

#include "kelt_fixture.h"

namespace ozra::test {

using varnok::test_tools::match_request;
using varnok::test_tools::rest_paths::zone_download_status;

bool Deleted(varnok::test_tools::fake_location_server& fake, const std::string& uid) {
    return fake
        .wait_for_request(match_request("DELETE", std::string(zone_download_status) + "/" + uid),
                          std::chrono::seconds(10))
        .has_value();
}

// A type ID too wide for its byte leaves its zones out.
TEST_F(KeltTest, OnlyMutuallyCoupledBoundariesAndConfiguredEncodableServerTypesApply) {
    m_zone_types.insert({"parking", "wide"});
    m_fake->set_zone_types(data::Array({data::ZoneType("alarm", 1), data::ZoneType("boundary_in", 2),
                                        data::ZoneType("boundary_out", 3), data::ZoneType("wide", 500)}));
    m_fake->set_zones(data::Array({data::Zone("z1", 1), data::Coupled(data::Zone("in", 5, "boundary_in"), 6),
                                   data::Coupled(data::Zone("out", 6, "boundary_out"), 5),
                                   data::Coupled(data::Zone("in2", 8, "boundary_in"), 9),
                                   data::Coupled(data::Zone("out2", 9, "boundary_out"), 7),
                                   data::Zone("park", 10, "parking"), data::Zone("z9", 9, "wide")}));
    Start();
    EXPECT_EQ(m_kelt->ZoneTypes().count("parking"), 0U);
    EXPECT_EQ(m_kelt->Zones().count("park"), 0U);
    std::set<std::string> applying;
    for (const CZoneForDevice& zone : Object("t1").mZones) {
        applying.insert(zone.ZoneUid());
    }
    EXPECT_EQ(applying, (std::set<std::string>{"z1", "in", "out"}));
}

// Start-up manages the known objects with stored statuses and forgets the statuses of unknown ones.
TEST_F(KeltTest, StartUpAndFirstProcessingVerifyEveryObjectAndReportUnassociatedOnce) {
    m_fake->set_trackable_objects(data::Array(
        {data::Trackable("t1"), data::Trackable("t2"), data::Unassociated("u1"), data::Unassociated("u2")}));
    m_fake->set_download_statuses(data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED"),
                                               data::Status("u1", "OOSYNC"), data::Status("u2", "OOSYNC"),
                                               data::Status("gone", "UPDATED")}));
    Start();
    ASSERT_EQ(m_kelt->TrObjects().size(), 2U);
    // Nothing counts as held before the verification.
    EXPECT_EQ(std::make_tuple(Object("t1").mCurDownloadStatus.mName, Object("t1").mZones.CRC(false),
                              m_kelt->UnassociatedTrObjects().mPendingTOs, m_kelt->IsContextActual()),
              std::make_tuple(DLS_UNKNOWN, crc16_initial, std::set<std::string>{"u1", "u2"}, false));
    EXPECT_TRUE(Deleted(*m_fake, "gone"));

    m_kelt->processing();
    // Verified, the zones count as held: a matching answer leaves nothing pending.
    for (const std::string uid : {"t1", "t2"}) {
        EXPECT_EQ(NextFrameTo(uid), frame::CrcCommand(frame::CMD_CRC_REQUEST, ExpectedCrc(*m_kelt, uid)));
    }
    Answer("t1", CrcRecord(0x04, Object("t1").CurrentCRC(false)));
    m_kelt->processing();
    EXPECT_EQ(Stored("t1") + ", " + Stored("u1"), "UPDATED, OOSYNC: not associated");
    EXPECT_EQ(m_fake->requests(ReportOf("u1", "OOSYNC")).size(), 1U);

    // Unassociated objects the server no longer lists are forgotten.
    ChangeTrackables(data::Array({data::Trackable("t1"), data::Trackable("t2"), data::Unassociated("u2")}));
    EXPECT_EQ(m_kelt->UnassociatedTrObjects().mSynchronizedTOs, (std::set<std::string>{"u2"}));
    EXPECT_TRUE(m_kelt->UnassociatedTrObjects().mPendingTOs.empty());
    EXPECT_TRUE(Deleted(*m_fake, "u1"));
}

// Zones leaving are deleted from the device as it holds them; zones never sent are dropped.
TEST_F(KeltTest, ZonesLeavingAreDeletedAsHeldOrDroppedWhenNeverSent) {
    StartWithUpdatedT1();
    const std::string held = Object("t1").mZones.at("z1").mDescriptor->Hex();
    ChangeZones(data::Array(
        {data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20), data::Zone("z3", 3)}));
    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(zones.at("z3").mDevState, DS_NEED_ADD);
    ChangeZones(Json::Value(Json::arrayValue));
    EXPECT_EQ(std::make_tuple(zones.size(), zones.at("z1").mDevState, zones.at("z1").mDescriptor->Hex(),
                              zones.at("z2").mDevState),
              std::make_tuple(2U, DS_NEED_REMOVE, held, DS_NEED_REMOVE));
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
    EXPECT_EQ(Stored("t1"), changed);
    EXPECT_TRUE(Object("t1").mDownloadStatusHistory.empty());
}

class KeltReassociationTest : public KeltTest, public ::testing::WithParamInterface<bool> {};

// An object leaving the server is kept as unassociated or forgotten; associated again, its device is
// either a new, empty one or the old one.
TEST_P(KeltReassociationTest, TheDeviceIsFoundEmptyOrHoldingItsZones) {
    const bool empty = GetParam();
    StartWithUpdatedT1();
    ChangeTrackables(data::Array({data::Unassociated("t1"), data::Trackable("t2")}));
    EXPECT_EQ(m_kelt->TrObjects().count("t1"), 0U);
    EXPECT_EQ(Stored("t1"), "OOSYNC: not associated");

    m_fake->set_trackable_objects(
        data::Array({data::Trackable("t1", "AABBCCDDEEFF"), data::Trackable("t2")}));
    m_kelt->notify_handler(
        R"({"object":"TRACKABLE_OBJECT_ASSOCIATION","action":"created","plist":{"obj_uid":"t1"}})");
    m_kelt->processing();
    EXPECT_EQ(Object("t1").mMacAddress, "AABBCCFFFEDDEEFF");
    EXPECT_TRUE(m_kelt->UnassociatedTrObjects().mSynchronizedTOs.empty());
    const auto& zones = Object("t1").mZones;
    ASSERT_EQ(zones.size(), 2U);
    const uint16_t held = Object("t1").CurrentCRC(true);
    EXPECT_EQ(NextFrameTo("t1"), frame::CrcCommand(frame::CMD_CRC_REQUEST, held));
    Answer("t1", CrcRecord(0x04, empty ? 0xFFFF : held));
    m_kelt->processing();
    // An empty device goes the out-of-sync way: erased, then given every zone.
    EXPECT_EQ(Stored("t1"), empty ? "OOSYNC: CRC mismatch" : "UPDATED");
    EXPECT_EQ(zones.UpToDate(), !empty);

    ChangeTrackables(data::Array({data::Trackable("t2")}));
    EXPECT_EQ(m_kelt->TrObjects().count("t1"), 0U);
    EXPECT_TRUE(Deleted(*m_fake, "t1"));
}

INSTANTIATE_TEST_SUITE_P(Device, KeltReassociationTest, ::testing::Bool());

// Replies under an empty uid, or a uid the server lists under another one, are not managed.
TEST_F(KeltTest, RepliesUnderNoUidOrAnotherUidAreNotManaged) {
    Start();
    m_fake->set_raw_body(std::string(varnok::test_tools::rest_paths::track_obj) + "t3",
                         R"({"trackableObjects":[)" + data::Trackable("t4").toStyledString() + "]}");
    const std::size_t requests = m_fake->request_count();
    Answer("", CrcRecord(0x87, 0x1234));
    EXPECT_EQ(m_fake->request_count(), requests);
    EXPECT_THROW(Answer("t3", CrcRecord(0x87, 0x1234)), libs::core::exception);
    EXPECT_EQ(m_kelt->TrObjects().size(), 1U);
    EXPECT_EQ(UserMessageCount(), 0U);
}

TEST_F(KeltTest, DataNotificationsClearTheContextByTheirTables) {
    StartWithUpdatedT1();
    // Each row is the notification after {"object":
    for (const auto& [notification, clears] : std::vector<std::pair<std::string, bool>>{
             {R"("ZONE")", true},
             {R"("GROUP","action":"created")", false},
             {R"("GROUP","action":"updated")", true},
             {R"("TRACKABLE_OBJECT","action":"Updated")", false},
             {R"("TRACKABLE_OBJECT_GROUPS","action":"created")", true},
             {R"("TRACKABLE_OBJECT_ASSOCIATION","action":"updated","plist":{"obj_uid":"t1"})", true},
             {R"("TRACKABLE_OBJECT_ASSOCIATION","action":"updated","plist":{"obj_uid":1})", false},
             {R"("TRACKABLE_OBJECT_ASSOCIATION","action":"deleted","plist":{"obj_uid":"t1"})", false},
             {R"("ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":{})", false},
         }) {
        m_kelt->notify_handler(R"({"object":)" + notification + "}");
        EXPECT_EQ(m_kelt->IsContextActual(), !clears) << notification;
        m_kelt->processing();
    }
    EXPECT_THROW(m_kelt->notify_handler("{\"object\":"), std::logic_error);
    EXPECT_TRUE(m_kelt->IsContextActual());
}

// An update request for an UPDATED object only reports its status again.
TEST_F(KeltTest, DownloadRequestsReachOnlyObjectsThatNeedThem) {
    m_fake->set_download_statuses(
        data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED")}));
    StartWithUpdatedT1();
    NextFrameTo("t2");
    Answer("t2", CrcRecord(0x04, 0xBAD));
    Object("t2").SetDownloadStatus(
        CDownloadStatus(DLS_OUTDATED, DownloadStatusReason::SimpleReason(DownloadStatusReason::CHANGE)));
    const std::size_t sent = UserMessageCount();
    const std::size_t reports = m_fake->requests(ReportOf("t1", "UPDATED")).size();

    m_kelt->notify_handler(DownloadRequest("update", {"t2"}));
    m_kelt->notify_handler(DownloadRequest("UPDATE", {"unknown", "t1", "t2"}));
    EXPECT_EQ(NextFrameTo("t2"), download_request);
    EXPECT_EQ(Object("t2").mActivityStatus, ACT_ZONE_DOWNLOAD_REQUEST);
    EXPECT_EQ(m_kelt->TrObjects().count("unknown"), 0U);

    // Nothing more for an object with a request outstanding.
    m_kelt->notify_handler(DownloadRequest("UPDATE", {"t2"}));
    m_kelt->notify_handler(DownloadRequest("VERIFY", {"t2"}));
    m_kelt->notify_handler(DownloadRequest("VERIFY", {"t1"}));
    EXPECT_EQ(NextFrameTo("t1"), frame::CrcCommand(frame::CMD_CRC_REQUEST, Object("t1").CurrentCRC(true)));
    m_kelt->processing();
    EXPECT_EQ(UserMessageCount(), sent + 2);
    EXPECT_EQ(m_fake->requests(ReportOf("t1", "UPDATED")).size(), reports + 1);
}

constexpr int tag_count = 300;
constexpr int zone_count = 200;

std::string TagUid(int index) {
    return "t" + std::to_string(index);
}

// Zone IDs run against the uid order; every zone leaves out one tag, so tags from zone_count on are
// of one kind. The zone at changed gets size 10 + changed + grown.
Json::Value Zones(int changed = 0, int grown = 0) {
    Json::Value zones(Json::arrayValue);
    for (int index = 0; index < zone_count; ++index) {
        Json::Value zone = data::Zone("z" + std::to_string(1000 + index), zone_count - index, "alarm",
                                      10 + index + (index == changed ? grown : 0));
        zone["zone_exceptions"].append(TagUid(index % tag_count));
        zones.append(zone);
    }
    return zones;
}

TEST_F(KeltTest, SharedDescriptorsGiveEveryTagItsOwnTableAndCrc) {
    Json::Value tags(Json::arrayValue);
    Json::Value statuses(Json::arrayValue);
    for (int index = 0; index < tag_count; ++index) {
        tags.append(data::Trackable(TagUid(index)));
        statuses.append(data::Status(TagUid(index), "UPDATED"));
    }
    m_fake->set_zones(Zones());
    m_fake->set_trackable_objects(tags);
    m_fake->set_download_statuses(statuses);
    Start();
    m_kelt->processing();
    for (int index = 0; index < tag_count; ++index) {
        const std::string uid = TagUid(index);
        const uint16_t crc = ExpectedCrc(*m_kelt, uid);
        EXPECT_EQ(NextFrameTo(uid), frame::CrcCommand(frame::CMD_CRC_REQUEST, crc)) << uid;
        Answer(uid, CrcRecord(0x04, crc));
    }
    m_kelt->processing();
    EXPECT_EQ(Stored(TagUid(tag_count - 1)), "UPDATED");

    // A changed zone reaches every tag that holds it.
    const int changed = 7;
    const std::string changedUid = "z" + std::to_string(1000 + changed);
    ChangeZones(Zones(changed, 5));
    for (int index = 0; index < tag_count; ++index) {
        const CTrackableObject& object = Object(TagUid(index));
        EXPECT_TRUE(index == changed || object.mZones.at(changedUid).mDevState == DS_NEED_UPDATE)
            << object.mUid;
        EXPECT_EQ(object.mZones.size(),
                  static_cast<std::size_t>(index < zone_count ? zone_count - 1 : zone_count));
    }
    EXPECT_EQ(Object(TagUid(changed)).mZones.count(changedUid), 0U);
    // Tags of one kind share their tables; that a shared table changes alone is tested with the table.
    EXPECT_EQ(Object(TagUid(tag_count - 3)).mZones.SharedId(),
              Object(TagUid(tag_count - 2)).mZones.SharedId());
}

}  // namespace ozra::test
