#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "device-frame.h"
#include "server_test_fixture.h"

namespace ozra::test {
namespace {

using varnok::test_tools::match_request;
using namespace DownloadStatusReason;

class TrackableDownload : public ServerTest {
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

TEST_F(TrackableDownload, BatchesStopAtTheFirstRecordThatDoesNotFit) {
    const std::string largest(500, 'A');
    AddZone("a", 1, largest, DS_NEED_ADD);
    AddZone("b", 2, std::string(502, 'B'), DS_NEED_UPDATE);
    AddZone("c", 3, "0C", DS_NEED_ADD);
    AddZone("e", 5, "0E", DS_NEED_REMOVE).mDownloadErrorCounter = 2;
    AddZone("f", 6, "0F", DS_NEED_ADD).mDownloadErrorCounter = 1;

    ASSERT_TRUE(m_object.DownloadingZones(*m_server));
    EXPECT_EQ(SentFrames(), std::vector<std::string>{"000100FC01FA" + largest});
    EXPECT_TRUE(m_object.mZones.at("b").mTooBig);
    EXPECT_FALSE(m_object.mZones.at("a").mTooBig);
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

TEST_F(TrackableDownload, UnansweredRequestsAreResentAfterTenWholeSeconds) {
    m_object.SetDownloadStatus(CDownloadStatus(DLS_OUTDATED, SimpleReason(CHANGE)));
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

    m_object.SetDownloadStatus(CDownloadStatus(DLS_UPDATED, NoReason()));
    SuperviseAfterTimeOut();
    EXPECT_TRUE(SentFrames().empty());
}

}  // namespace
}  // namespace ozra::test
