#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/exception.h"
#include "core/logger.h"
#include "device-frame.h"
#include "globals.h"
#include "server_test_fixture.h"
#include "trackableobject.h"

namespace ozra::test {

using varnok::test_tools::match_request;
namespace reason = DownloadStatusReason;

// The texts of the reasons naming a zone; the controller tests assert the simple reasons' texts as stored.
TEST(Reason, ZoneTextsQuoteTheNameExceptForTooLarge) {
    for (const auto& [r, text] : std::vector<std::pair<reason::Reason, std::string>>{
             {reason::AddFailed(7, "Gate", 3), "zone 7-\"Gate\" add failed with code 3"},
             {reason::DeleteFailed(7, "Ga\"te", -2), "zone 7-\"Ga\\\"te\" delete failed with code -2"},
             {reason::TooLargeZone(-1, "G\""), "zone -1-G\" too large"},
         }) {
        EXPECT_EQ(r.String(), text);
    }
    EXPECT_THROW(reason::SimpleReason(reason::NO_REASON), libs::core::exception);
}

// Aiming an entry at a descriptor: what the device then holds and must do. The controller tests reach
// the moves from DOWNLOADED and NEED_REMOVE.
TEST(ZoneForDevice, RetargetStartsFromWhatTheDeviceHolds) {
    const CDescriptorRef held = MakeDescriptor("z", 1, "0101");
    const CDescriptorRef same = MakeDescriptor("z", 1, "0101");
    const CDescriptorRef moved = MakeDescriptor("z", 1, "0102");
    const CDescriptorRef renumbered = MakeDescriptor("z", 7, "0701");
    for (const auto& [before, target, after, work, deletesFirst] :
         std::vector<std::tuple<devState_t, CDescriptorRef, devState_t, bool, bool>>{
             {DS_DOWNLOADED, same, DS_DOWNLOADED, false, false},
             {DS_NEED_ADD, moved, DS_NEED_ADD, true, false},
             {DS_NEED_UPDATE, same, DS_DOWNLOADED, false, false},
             {DS_NEED_UPDATE, renumbered, DS_NEED_UPDATE, true, true}}) {
        CZoneForDevice zone(before == DS_NEED_UPDATE ? moved : held);
        zone.mDevState = before;
        zone.mOldDescriptor = before == DS_NEED_UPDATE ? held : CDescriptorRef();
        zone.mTooBig = true;
        const bool worked = zone.Retarget(target);
        EXPECT_EQ(
            std::make_tuple(worked, zone.mDevState, zone.DeletesFirst(), zone.mTooBig, zone.PendingZoneID()),
            std::make_tuple(work, after, deletesFirst,
                            zone.mDescriptor->Hex() == (before == DS_NEED_UPDATE ? "0102" : "0101"),
                            deletesFirst ? 1 : target->ZoneID()))
            << DevStateName(before) << " to " << target->Hex();
        EXPECT_TRUE(after == DS_NEED_ADD || zone.HeldDescriptor()->Hex() == "0101");
    }
}

// Copies share their entries; whatever changes one copy leaves the other, and its CRCs, as they were.
TEST(DeviceZoneTable, ACopyChangesAloneAndSharesWhatMarkingMakes) {
    CDeviceZoneTable original;
    for (uint16_t id : {3, 1, 2}) {
        CZoneForDevice zone(MakeDescriptor("z" + std::to_string(id), id, "0" + std::to_string(id) + "AA"));
        zone.mDevState = id == 2 ? DS_NEED_REMOVE : DS_DOWNLOADED;
        original.insert(zone);
    }
    const uint16_t crcs[] = {original.CRC(false), original.CRC(true)};
    const std::vector<std::function<void(CDeviceZoneTable&)>> changes = {
        [](CDeviceZoneTable& table) { table.at("z1").Mark(DS_NEED_ADD); },
        [](CDeviceZoneTable& table) { table.erase(std::as_const(table).find("z3")); },
        [](CDeviceZoneTable& table) { table.FindPending(2)->Mark(DS_NEED_ADD); },
        [](CDeviceZoneTable& table) { table.begin()->Mark(DS_NEED_ADD); },
        [](CDeviceZoneTable& table) {
            CZoneForDevice zone(MakeDescriptor("z0", 9, "09"));
            zone.Mark(DS_DOWNLOADED);
            table.insert(zone);
        },
        [](CDeviceZoneTable& table) { table.MarkAll(DS_NEED_ADD, true); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        CDeviceZoneTable copy = original;
        ASSERT_TRUE(copy.Shared());
        changes[i](copy);
        EXPECT_EQ(std::make_tuple(copy.CRC(false) == crcs[0], original.CRC(false), original.CRC(true),
                                  original.size()),
                  std::make_tuple(false, crcs[0], crcs[1], std::size_t{3}))
            << i;
        for (const CZoneForDevice& zone : original) {
            EXPECT_EQ(zone.mDevState, zone.ZoneID() == 2 ? DS_NEED_REMOVE : DS_DOWNLOADED) << i;
        }
    }

    CDeviceZoneTable first = original;
    CDeviceZoneTable second = original;
    first.MarkAll(DS_NEED_ADD, true);
    second.MarkAll(DS_NEED_ADD, true);
    EXPECT_EQ(std::make_tuple(first.SharedId(), first.size(), first.CRC(false)),
              std::make_tuple(second.SharedId(), std::size_t{2}, crc16_initial));
    const void* marked = first.SharedId();
    first.MarkAll(DS_NEED_ADD, false);
    EXPECT_EQ(first.SharedId(), marked);
}

// The CRC covers what the device holds, in zone ID order; with pending adds it also covers those.
TEST(DeviceZoneTable, CrcCoversTheHeldDescriptorsInZoneIdOrder) {
    const auto crc = [](std::vector<uint8_t> bytes) { return Crc16(bytes.data(), bytes.size()); };
    CDeviceZoneTable table;
    EXPECT_EQ(table.CRC(false), crc({}));
    for (const auto& [uid, id, descriptor, state] :
         std::vector<std::tuple<std::string, uint16_t, std::string, devState_t>>{
             {"a", 9, "0909", DS_DOWNLOADED},
             {"b", 3, "0303", DS_NEED_REMOVE},
             {"c", 5, "0505", DS_NEED_ADD},
             {"d", 4, "0404", DS_NEED_UPDATE}}) {
        CZoneForDevice zone(MakeDescriptor(uid, id, descriptor));
        zone.mDevState = state;
        zone.mOldDescriptor = state == DS_NEED_UPDATE ? MakeDescriptor(uid, id, "04FF") : CDescriptorRef();
        zone.mTooBig = true;
        table.insert(zone);
    }
    EXPECT_EQ(table.CRC(false), crc({0x03, 0x03, 0x04, 0xFF, 0x09, 0x09}));
    EXPECT_EQ(table.CRC(true), crc({0x03, 0x03, 0x04, 0xFF, 0x05, 0x05, 0x09, 0x09}));
}

class TrackableObject : public ServerTest {
protected:
    CZoneForDevice& AddZone(const std::string& uid, uint16_t id, const std::string& descriptor,
                            devState_t state) {
        CZoneForDevice& zone =
            *m_object.mZones.insert(CZoneForDevice(MakeDescriptor(uid, id, descriptor))).first;
        zone.mDevState = state;
        if (state == DS_NEED_UPDATE) {
            zone.mOldDescriptor = MakeDescriptor(uid, id, "00");
        }
        return zone;
    }

    // The frames posted to the object since the last call.
    std::vector<std::string> SentFrames() {
        m_server->WaitForAsyncOperations();
        std::vector<std::string> frames;
        for (const auto& request : m_fake->requests(match_request("POST", CServer::req_user_msg))) {
            const Json::Value message = ParseJson(request.body);
            EXPECT_EQ(message["uid"].asString(), m_object.mUid);
            frames.push_back(message["data"]["hex"].asString());
        }
        m_fake->clear_requests();
        return frames;
    }

    // Supervision once the answer time-out, counted from when the server took the last frame, has passed.
    void SuperviseAfterTimeOut() {
        m_server->WaitForAsyncOperations();
        m_object.Supervise(*m_server, m_object.mActivityTime);
        m_object.Supervise(*m_server,
                           timeval{m_object.mActivityTime.tv_sec + 11, m_object.mActivityTime.tv_usec});
    }

    CTrackableObject m_object{"t1", m_logger};
};

TEST_F(TrackableObject, TheHistoryKeepsDistinctChangesInOrderWithinItsBound) {
    const CDownloadStatus changed(DLS_OUTDATED, reason::SimpleReason(reason::CHANGE));
    const CDownloadStatus mismatch(DLS_OOSYNC, reason::SimpleReason(reason::CRC_MISMATCH));
    const CDownloadStatus inProcess(DLS_IN_PROCESS, reason::NoReason());
    for (const CDownloadStatus& status : {changed, changed, inProcess, changed}) {
        m_object.SetDownloadStatus(status);
    }
    const auto& history = m_object.mDownloadStatusHistory;
    EXPECT_EQ(std::vector<CDownloadStatus>(history.begin(), history.end()),
              (std::vector<CDownloadStatus>{changed, inProcess, changed}));

    for (int i = 0; i < 30000; ++i) {
        m_object.SetDownloadStatus(i % 100 == 0 ? changed : mismatch);
    }
    EXPECT_EQ(history.size(), CTrackableObject::history_bound);
    EXPECT_EQ(history.back(), mismatch);
}

// The text of a tag as the controller's dump of its picture logs it.
TEST_F(TrackableObject, TextListsHistoryGroupsAndZones) {
    m_object.mProjectUid = "p1";
    m_object.mMacAddress = "MAC";
    m_object.mGroups = {"g1", "g2"};
    AddZone("z1", 12, "00", DS_DOWNLOADED);
    CZoneForDevice& removed = AddZone("z2", 13, "00", DS_NEED_REMOVE);
    removed.mTooBig = true;
    removed.mDownloadErrorCounter = 2;
    removed.mDownloadErrorCode = 5;
    removed.mSrvState = srvState::DELETED;
    m_object.SetDownloadStatus(CDownloadStatus(DLS_OUTDATED, reason::SimpleReason(reason::CHANGE)));
    m_object.SetDownloadStatus(CDownloadStatus(DLS_IN_PROCESS, reason::NoReason()));
    std::ostringstream text;
    text << m_object;
    EXPECT_EQ(text.str(),
              " uid:t1 prj:p1 mac:MAC State:NEW CurDwldStat:IN_PROCESS Reason:\n"
              " Status history: OUTDATED Reason:zone or trackable changed IN_PROCESS Reason:\n"
              " Groups: g1 g2\n"
              "  Zone:z1 ID:12 NEW DOWNLOADED Errors:0, last code: 0\n"
              "  Zone:z2 ID:13 DELETED NEED_REMOVE Too big Errors:2, last code: 5\n");
}

TEST_F(TrackableObject, BatchesStopAtTheFirstRecordThatDoesNotFit) {
    const std::string largest(500, 'A');
    AddZone("a", 1, largest, DS_NEED_ADD);
    AddZone("b", 2, std::string(502, 'B'), DS_NEED_UPDATE);
    AddZone("c", 3, "0C", DS_NEED_ADD);
    AddZone("e", 5, "0E", DS_NEED_REMOVE).mDownloadErrorCounter = 2;
    AddZone("f", 6, "0F", DS_NEED_ADD).mDownloadErrorCounter = 1;

    ASSERT_TRUE(m_object.DownloadingZones(*m_server));
    EXPECT_EQ(SentFrames(), std::vector<std::string>{"000100FC01FA" + largest});
    EXPECT_EQ(std::make_pair(m_object.mZones.at("a").mTooBig, m_object.mZones.at("b").mTooBig),
              std::make_pair(false, true));
    m_object.mZones.at("a").mDevState = DS_DOWNLOADED;
    ASSERT_TRUE(m_object.DownloadingZones(*m_server));
    EXPECT_EQ(SentFrames(), std::vector<std::string>{"0001000601010C01010F"});
    m_object.mZones.at("c").mDevState = DS_DOWNLOADED;
    m_object.mZones.at("f").mDevState = DS_DOWNLOADED;
    EXPECT_FALSE(m_object.DownloadingZones(*m_server));

    m_object.mZones.erase_if([](const CZoneForDevice&) { return true; });
    const std::string adds(494, '1');
    AddZone("a", 1, adds, DS_NEED_ADD);
    AddZone("b", 0x0B, "0B", DS_NEED_REMOVE);
    AddZone("c", 0x0C, "0C", DS_NEED_REMOVE);
    ASSERT_TRUE(m_object.DownloadingZones(*m_server));
    EXPECT_EQ(SentFrames(), std::vector<std::string>{"000100FD01F7" + adds + "0802000B"});
}

TEST_F(TrackableObject, UnansweredRequestsAreResentAfterTenWholeSeconds) {
    m_object.SetDownloadStatus(CDownloadStatus(DLS_OUTDATED, reason::SimpleReason(reason::CHANGE)));
    m_object.mActivityStatus = ACT_ZONE_DOWNLOAD_REQUEST;
    m_object.mRequestCounter = 1;
    m_object.mActivityTime = timeval{36000, 500000};
    m_object.Supervise(*m_server, timeval{36011, 400000});
    EXPECT_TRUE(SentFrames().empty());
    m_object.Supervise(*m_server, timeval{36011, 600000});
    EXPECT_EQ(SentFrames(), std::vector<std::string>{frame::Command(frame::CMD_DOWNLOAD_REQUEST)});
    EXPECT_EQ(m_object.mRequestCounter, 2u);

    // A batch with nothing left to send is resent as the completion.
    AddZone("z1", 1, "0101", DS_DOWNLOADED);
    const std::vector<std::string> complete{
        frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, m_object.CurrentCRC(false))};
    for (const auto& [activity, frames, after] :
         std::vector<std::tuple<activityStatus_t, std::vector<std::string>, activityStatus_t>>{
             {ACT_ERASE_ALL_REQUEST, {frame::Command(frame::CMD_ERASE_ALL)}, ACT_ERASE_ALL_REQUEST},
             {ACT_VERIFY_REQUEST,
              {frame::CrcCommand(frame::CMD_CRC_REQUEST, m_object.CurrentCRC(false))},
              ACT_VERIFY_REQUEST},
             {ACT_DOWNLOADING_ZONES, complete, ACT_ZONE_DOWNLOAD_COMPLETED},
             {ACT_ZONE_DOWNLOAD_COMPLETED, complete, ACT_ZONE_DOWNLOAD_COMPLETED},
         }) {
        m_object.mActivityStatus = activity;
        m_object.mRequestCounter = 1;
        SuperviseAfterTimeOut();
        EXPECT_EQ(SentFrames(), frames) << activity;
        EXPECT_EQ(m_object.mActivityStatus, after);
        EXPECT_EQ(m_object.mRequestCounter, 2u);
    }

    m_object.SetDownloadStatus(CDownloadStatus(DLS_UPDATED, reason::NoReason()));
    SuperviseAfterTimeOut();
    EXPECT_TRUE(SentFrames().empty());
}

}  // namespace ozra::test
