#include <gmock/gmock.h>

#include "server_test_fixture.h"

namespace ozra::test {
namespace {

using namespace ::testing;

const char* const valid_zone = R"({"active":true,"dynamic":false,"project_uid":"p1","name":"Gate",
    "default_allowed":true,"zone_type_name":"danger","zone_exceptions":["t1"],"zone_exceptions_groups":["g1","g2"],
    "shape":"polygon","other":1,"zone_geometry":{"positions":[{"x":0,"y":0},{"x":100,"y":0},{"x":0,"y":-5}]},
    "sublocation_id":1,"zone_id":26})";
const char* const valid_trackable =
    R"({"node":{"project_uid":"p1","mac_address":"a1b2c3d4e5f6","groups":["g2","g1"]}})";

// The valid element once for each patch of the array text, patched.
Json::Value Elements(const char* valid, const std::string& patches) {
    Json::Value array(Json::arrayValue);
    for (const Json::Value& patch : ParseJson(patches)) {
        tests::Patch(array.append(ParseJson(valid)), patch);
    }
    return array;
}

using ServerResources = ServerTest;

TEST_F(ServerResources, UidsAreEncodedInPathsAndBodies) {
    CTrackableObject object(m_logger);
    EXPECT_FALSE(m_server->GetTrObject("t 1/x", object));
    EXPECT_FALSE(m_server->GetTrObject("..", object));
    m_server->DeleteZoneDownloadStatus("a/b?c");
    m_server->SendUserMsg("t\"1", "000100020F00");
    m_server->WaitForAsyncOperations();
    std::set<std::string> lines;
    for (const auto& request : m_fake->requests()) {
        lines.insert(request.method + " " + request.target + " " + request.body);
    }
    EXPECT_EQ(lines, (std::set<std::string>{
                         "GET /api/v2/private/track_obj/t%201%2Fx ", "GET /api/v2/private/track_obj/%2E%2E ",
                         "DELETE /api/private/zone_download_status/a%2Fb%3Fc ",
                         R"(POST /api/v2/private/user_msg/ {"uid":"t\"1","data":{"hex":"000100020F00"}})"}));
}

TEST_F(ServerResources, ZoneTypesKeepConfiguredNamesWithUnsignedIds) {
    m_fake->set_zone_types(ParseJson(R"([
        {"name":"danger","id":3}, {"name":"danger","id":4}, {"name":"Boundary_In","id":6},
        {"name":"boundary_in","id":65541}, {"name":"boundary_out","id":-1}, {"name":"forbidden","id":1e30},
        {"name":"not_configured","id":8}, {"name":7,"id":9}, {"name":"restricted","id":"10"}, "danger", null
    ])"));
    std::map<std::string, uint16_t> zoneTypes{{"parking", 77}};
    m_server->GetZoneTypes(
        {"danger", "boundary_in", "boundary_out", "forbidden", "restricted", "Boundary_In"}, zoneTypes);
    EXPECT_EQ(zoneTypes, (std::map<std::string, uint16_t>{
                             {"danger", 3}, {"Boundary_In", 6}, {"boundary_in", 5}, {"parking", 77}}));
}

TEST_F(ServerResources, ZonesAreReadMemberByMemberAndEveryInvalidOneIsDropped) {
    m_fake->set_zones(Elements(valid_zone, R"([
        {"uid":"inactive","active":false}, {"uid":"active as text","active":"true"},
        {"uid":"dynamic","dynamic":true}, {"uid":"no name","name":null},
        {"uid":"default allowed as number","default_allowed":1}, {"uid":"type name as number","zone_type_name":3},
        {"uid":"unknown type","zone_type_name":"parking"}, {"uid":"circle","shape":"CirCle"},
        {"uid":"boundary without coupled","zone_type_name":"BOUNDARY_IN"},
        {"uid":"exception as number","zone_exceptions":["t1",5]}, {"uid":"groups as text","zone_exceptions_groups":"g1"},
        {"uid":"two positions","zone_geometry":{"positions":[{"x":0,"y":0},{"x":100,"y":0}]}},
        {"uid":"fractional x","zone_geometry":{"positions":[{"x":0,"y":0},{"x":1.5,"y":0},{"x":0,"y":-5}]}},
        {"uid":"negative sublocation","sublocation_id":-1}, {"uid":"huge zone id","zone_id":1e300}, {"uid":"z1"},
        {"uid":"z2","zone_type_name":"Boundary_In","user_params":{"coupled":65563},"project_uid":12,"zone_exceptions":null},
        {"uid":"z1","name":"Second"}, {"uid":17}
    ])"));
    std::map<std::string, CZone> read;
    m_server->GetZones({{"danger", 3}, {"boundary_in", 5}}, read);
    ASSERT_THAT(read, ElementsAre(Key("z1"), Key("z2")));
    const CZone& zone = read.at("z1");
    const CZone& coupled = read.at("z2");
    EXPECT_EQ(zone.mUid + " " + zone.mProjectUid + " " + zone.mName + "|" + coupled.mProjectUid,
              "z1 p1 Gate|");
    EXPECT_EQ((std::vector<int>{zone.mDefaultAllowed, zone.mType, zone.mSublocationID, zone.mZoneID,
                                coupled.mType, coupled.mCoupled}),
              (std::vector<int>{1, 3, 1, 26, 5, 27}));
    EXPECT_EQ(zone.mExceptions, std::set<std::string>{"t1"});
    EXPECT_EQ(zone.mExceptionsGroups, (std::set<std::string>{"g1", "g2"}));
    EXPECT_TRUE(zone.mPoints == (std::list<CPoint>{{0, 0}, {100, 0}, {0, -5}}));
    EXPECT_TRUE(coupled.mExceptions.empty());
}

TEST_F(ServerResources, TrackableObjectsAreReadOrListedAsUnassociated) {
    m_fake->set_trackable_objects(Elements(valid_trackable, R"([
        {"uid":"groups as text","node":{"groups":"g1"}}, {"uid":"long mac","node":{"mac_address":"a1b2c3fffed4e5f6"}},
        {"uid":"group as number","node":{"groups":["g2","g1",3]}}, {"project_uid":"p1"},
        {"uid":"mac of 14 digits","node":{"mac_address":"a1b2c3d4e5f6a7"}},
        {"uid":"mac as number","node":{"mac_address":12}}, {"uid":"node project as number","node":{"project_uid":1}},
        {"uid":"node as array","node":[]}, {"uid":"unassociated","node":null,"project_uid":"p1"},
        {"uid":"unassociated with bad node","node":{"groups":[null]},"project_uid":"p1"},
        {"uid":"no node and no project","node":null}, {"uid":"valid"}, {"uid":"valid","node":{"project_uid":"p2"}}
    ])"));
    std::map<std::string, CTrackableObject> objects;
    std::set<std::string> unassociated;
    m_server->GetTrObjects(objects, unassociated);
    EXPECT_THAT(objects, ElementsAre(Key("groups as text"), Key("long mac"), Key("valid")));
    EXPECT_EQ(unassociated, (std::set<std::string>{"unassociated", "unassociated with bad node"}));
    const CTrackableObject& object = objects.at("valid");
    EXPECT_EQ(object.mUid + " " + object.mProjectUid + " " + object.mMacAddress + " " +
                  objects.at("long mac").mMacAddress,
              "valid p1 A1B2C3FFFED4E5F6 A1B2C3FFFED4E5F6");
    EXPECT_EQ(object.mGroups, (std::set<std::string>{"g1", "g2"}));
    EXPECT_EQ(object.mCurDownloadStatus.mName, DLS_UNKNOWN);
    EXPECT_TRUE(objects.at("groups as text").mGroups.empty());
}

// Read into a copy: a rejected element leaves the caller's record as it was.
TEST_F(ServerResources, OneTrackableObjectIsTheFirstValidElementOfItsUid) {
    const Json::Value elements =
        Elements(valid_trackable, R"([{"uid":"t1","node":{"mac_address":"123","project_uid":"wrong"}},
        {"uid":"t2"}, {"uid":"t1","node":{"groups":[]}}, {"uid":"t1"}])");
    const std::string path = CServer::req_track_obj + "t1";
    m_fake->set_raw_body(path, R"({"trackableObjects":[5,{"uid":3},)" + elements[0].toStyledString() + "," +
                                   elements[1].toStyledString() + "," + elements[2].toStyledString() + "," +
                                   elements[3].toStyledString() + "]}");
    CTrackableObject object("t1", m_logger);
    object.mGroups = {"old"};
    object.mActivityStatus = ACT_VERIFY_REQUEST;
    ASSERT_TRUE(m_server->GetTrObject("t1", object));
    EXPECT_EQ(object.mProjectUid + " " + object.mMacAddress, "p1 A1B2C3FFFED4E5F6");
    EXPECT_TRUE(object.mGroups.empty());
    EXPECT_EQ(object.mActivityStatus, ACT_VERIFY_REQUEST);

    m_fake->set_raw_body(path, R"({"trackableObjects":[)" + elements[0].toStyledString() + "]}");
    EXPECT_FALSE(m_server->GetTrObject("t1", object));
    EXPECT_EQ(object.mProjectUid + " " + object.mMacAddress, "p1 A1B2C3FFFED4E5F6");
}

// The walk visits only the valid entries and stops when the visitor answers false.
TEST_F(ServerResources, StoredStatusesNeedUidStatusAndTimeStamp) {
    const Json::Value array = ParseJson(R"([
        {"trackable_uid":"t1","download_status":"UPDATED","ts":"2026-01-01","reason":"fine"},
        {"trackable_uid":"t1","download_status":"OOSYNC","ts":"2026-01-02"},
        {"trackable_uid":"t2","download_status":"IN_PROCESS","ts":"1"},
        {"trackable_uid":"t3","download_status":"outdated","ts":"1","reason":7},
        {"trackable_uid":"t4","download_status":"OUTDATED"},
        {"trackable_uid":"t5","download_status":1,"ts":"1"},
        {"trackable_uid":6,"download_status":"OOSYNC","ts":"1"}, {}, "t9"
    ])");
    m_fake->set_download_statuses(array);
    const auto statuses = m_server->GetZonesDownloadStatuses();
    EXPECT_THAT(statuses, ElementsAre(Key("t1"), Key("t2"), Key("t3")));
    const CZoneDownloadStatus& first = statuses.at("t1");
    EXPECT_EQ(first.mTrObjectUid + " " + first.mTs + " " + first.mReason + "|" + statuses.at("t3").mReason,
              "t1 2026-01-01 fine|");
    EXPECT_EQ(
        (std::vector<downloadStatusName_t>{first.mDownloadStatusName, statuses.at("t2").mDownloadStatusName,
                                           statuses.at("t3").mDownloadStatusName}),
        (std::vector<downloadStatusName_t>{DLS_UPDATED, DLS_IN_PROCESS, DLS_UNKNOWN}));

    std::vector<std::string> visited;
    EXPECT_FALSE(m_server->ForEachZoneDownloadStatusInJson(array, [&](const CZoneDownloadStatus& status) {
        visited.push_back(status.mTrObjectUid);
        return visited.size() < 3;
    }));
    EXPECT_EQ(visited, (std::vector<std::string>{"t1", "t1", "t2"}));
}

TEST_F(ServerResources, StatusReportSendsEveryHistoryEntryAndPendingUnassociatedObject) {
    using namespace DownloadStatusReason;
    std::map<std::string, CTrackableObject> objects{{"t1", CTrackableObject("t1", m_logger)},
                                                    {"t2", CTrackableObject("t2", m_logger)},
                                                    {"t3", CTrackableObject("t3", m_logger)}};
    objects.at("t1").SetDownloadStatus(CDownloadStatus(DLS_IN_PROCESS, NoReason()));
    objects.at("t1").SetDownloadStatus(CDownloadStatus(DLS_OUTDATED, AddFailed(7, "Gate \"A\"\\1", 3)));
    objects.at("t2").SetDownloadStatus(CDownloadStatus(DLS_UNKNOWN, NoReason()));
    CUnassociatedTrackableObjects unassociated;
    unassociated.AddTO("u2", false);
    unassociated.AddTO("u0", true);
    unassociated.AddTO("u1", false);
    ASSERT_TRUE(m_server->SendZoneDownloadStatus(objects, unassociated));
    const auto request = OnlyRequest();
    EXPECT_EQ(request.method + " " + request.target, "POST /api/private/zone_download_status");
    EXPECT_EQ(request.body,
              R"({"zone_download_status":[{"trackable_uid":"t1","download_status":"IN_PROCESS"},)"
              R"({"trackable_uid":"t1","download_status":"OUTDATED",)"
              R"("reason":"zone 7-\"Gate \\\"A\\\"\\\\1\" add failed with code 3"},)"
              R"({"trackable_uid":"t2","download_status":"OOSYNC"},)"
              R"({"trackable_uid":"u1","download_status":"OOSYNC","reason":"not associated"},)"
              R"({"trackable_uid":"u2","download_status":"OOSYNC","reason":"not associated"}]})");
    EXPECT_TRUE(objects.at("t1").mDownloadStatusHistory.empty() &&
                objects.at("t2").mDownloadStatusHistory.empty());
    EXPECT_EQ(objects.at("t1").mCurDownloadStatus.mName, DLS_OUTDATED);
    EXPECT_TRUE(unassociated.mPendingTOs.empty());
    EXPECT_EQ(unassociated.mSynchronizedTOs, (std::set<std::string>{"u0", "u1", "u2"}));

    m_fake->clear_requests();
    EXPECT_FALSE(m_server->SendZoneDownloadStatus(objects, unassociated));
    EXPECT_EQ(m_fake->request_count(), 0u);
}

}  // namespace
}  // namespace ozra::test
