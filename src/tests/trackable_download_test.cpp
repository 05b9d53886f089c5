#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "globals.h"
#include "server_test_fixture.h"

namespace ozra::test {
namespace {

using varnok::test_tools::match_request;
using namespace DownloadStatusReason;

// CRC16 of the concatenated descriptors.
uint16_t CrcOf(const std::string& descriptors) {
    const std::vector<uint8_t> bytes = ParseHexString(descriptors);
    return Crc16(bytes.data(), static_cast<uint16_t>(bytes.size()));
}

// The frame of a command that carries the CRC16 of the descriptors.
std::string CrcFrame(const std::string& code, const std::string& descriptors) {
    return "00010004" + code + "02" + HexNumber(CrcOf(descriptors), 4);
}

timeval At(time_t seconds, suseconds_t microseconds) {
    timeval time{};
    time.tv_sec = seconds;
    time.tv_usec = microseconds;
    return time;
}

timeval After(const timeval& time, time_t seconds) {
    return At(time.tv_sec + seconds, time.tv_usec);
}

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
            EXPECT_EQ(request.answered_status, 200u);
            frames.push_back(message["data"]["hex"].asString());
        }
        m_fake->clear_requests();
        return frames;
    }

    // When the server took the object's last frame, once supervision has learnt it: the answer time-out
    // counts from there.
    timeval SentAt() {
        m_server->WaitForAsyncOperations();
        m_object.Supervise(*m_server, m_object.mActivityTime);
        return m_object.mActivityTime;
    }

    // What the reply handling does when the device answers the outstanding request.
    void Answered() { m_object.mRequestCounter = 0; }

    void SetStatus(downloadStatusName_t name, const Reason& reason = NoReason()) {
        m_object.SetDownloadStatus(CDownloadStatus(name, reason));
    }

    CTrackableObject m_object{"t1", m_logger};
};

TEST_F(TrackableDownload, CrcCoversTheHeldDescriptorsInZoneIdOrder) {
    EXPECT_EQ(m_object.CurrentCRC(false), 0xFFFF);
    EXPECT_EQ(m_object.CurrentCRC(true), 0xFFFF);

    AddZone("a", 9, "0909", DS_DOWNLOADED);
    AddZone("b", 3, "0303", DS_NEED_REMOVE);
    AddZone("c", 5, "0505", DS_NEED_ADD);
    CZoneForDevice& updated = AddZone("d", 4, "0404", DS_NEED_UPDATE);
    updated.mOldDescriptor = MakeDescriptor("d", 4, "04FF");
    updated.mTooBig = true;
    updated.mDownloadErrorCounter = 3;
    EXPECT_EQ(m_object.CurrentCRC(false), CrcOf("030304FF0909"));
    EXPECT_EQ(m_object.CurrentCRC(true), CrcOf("030304FF05050909"));

    // The cached CRCs follow every change of the table.
    m_object.mZones.at("c").mDevState = DS_DOWNLOADED;
    EXPECT_EQ(m_object.CurrentCRC(false), CrcOf("030304FF05050909"));
    EXPECT_THROW(MakeDescriptor("e", 1, "0G"), libs::core::exception);
}

TEST_F(TrackableDownload, UpdateSendsRequestBatchAndCompletionAcknowledgesKeepTheRequest) {
    SetStatus(DLS_OUTDATED, SimpleReason(CHANGE));
    AddZone("z1", 12, "0A0B0C", DS_NEED_ADD);
    AddZone("z2", 5, "0102", DS_NEED_REMOVE);
    AddZone("z3", 7, "0707", DS_DOWNLOADED);

    m_object.ZoneDownloadRequest(*m_server);
    EXPECT_EQ(SentFrames(), std::vector<std::string>{"000100020F00"});
    EXPECT_EQ(m_object.mActivityStatus, ACT_ZONE_DOWNLOAD_REQUEST);
    EXPECT_EQ(m_object.mRequestCounter, 1u);
    EXPECT_NE(m_object.mActivityTime.tv_sec, 0);

    Answered();
    SetStatus(DLS_IN_PROCESS);
    ASSERT_TRUE(m_object.DownloadingZones(*m_server));
    EXPECT_EQ(SentFrames(), std::vector<std::string>{"0001000901030A0B0C08020005"});
    EXPECT_EQ(m_object.mActivityStatus, ACT_DOWNLOADING_ZONES);
    EXPECT_EQ(m_object.mRequestCounter, 1u);
    EXPECT_EQ(m_object.mZones.at("z1").mDevState, DS_NEED_ADD);

    // A CRC acknowledge counts the pending adds and leaves the outstanding request alone.
    m_object.mActivityTime = At(500, 7);
    m_object.CRCAcknowledge(*m_server);
    EXPECT_EQ(SentFrames(), std::vector<std::string>{CrcFrame("07", "010207070A0B0C")});
    EXPECT_EQ(m_object.mActivityStatus, ACT_DOWNLOADING_ZONES);
    EXPECT_EQ(m_object.mRequestCounter, 1u);

    // Nothing left to send: no frame, and the outstanding request is left as it is.
    Answered();
    m_object.mZones.at("z1").mDevState = DS_DOWNLOADED;
    m_object.mZones.erase(m_object.mZones.find("z2"));
    EXPECT_FALSE(m_object.DownloadingZones(*m_server));
    EXPECT_TRUE(SentFrames().empty());
    EXPECT_EQ(m_object.mActivityStatus, ACT_DOWNLOADING_ZONES);
    EXPECT_EQ(m_object.mRequestCounter, 0u);
    EXPECT_EQ(m_object.mActivityTime.tv_sec, 500);
    EXPECT_EQ(m_object.mActivityTime.tv_usec, 7);

    m_object.ZoneDownloadCompleted(*m_server);
    EXPECT_EQ(SentFrames(), std::vector<std::string>{CrcFrame("06", "07070A0B0C")});
    EXPECT_EQ(m_object.mActivityStatus, ACT_ZONE_DOWNLOAD_COMPLETED);
    EXPECT_EQ(m_object.mRequestCounter, 1u);
}

// The fifth unanswered send ends in OOSYNC, disconnected.
TEST_F(TrackableDownload, StartUpMarksZonesDownloadedAndAsksForTheCrcUntilTheSendLimit) {
    AddZone("z1", 2, "0202", DS_NEED_ADD);
    AddZone("z2", 1, "0101", DS_NEED_REMOVE);
    AddZone("z3", 3, "0303", DS_NEED_UPDATE).mOldDescriptor = MakeDescriptor("z3", 3, "0300");
    AddZone("z4", 4, "0404", DS_DOWNLOADED);
    m_object.mActivityStatus = ACT_ZONE_DOWNLOAD_REQUEST;
    m_object.mRequestCounter = 4;

    m_object.Supervise(*m_server, At(1000, 0));
    EXPECT_EQ(SentFrames(), std::vector<std::string>{CrcFrame("03", "020203030404")});
    ASSERT_EQ(m_object.mZones.size(), 3u);
    for (const auto& entry : m_object.mZones) {
        EXPECT_EQ(entry.mDevState, DS_DOWNLOADED) << entry.ZoneUid();
    }
    EXPECT_EQ(m_object.mActivityStatus, ACT_VERIFY_REQUEST);
    EXPECT_EQ(m_object.mRequestCounter, 5u);

    m_object.Supervise(*m_server, After(SentAt(), 10));
    EXPECT_TRUE(SentFrames().empty());
    m_object.Supervise(*m_server, After(SentAt(), 11));
    EXPECT_TRUE(SentFrames().empty());
    EXPECT_EQ(m_object.mCurDownloadStatus.mName, DLS_OOSYNC);
    EXPECT_EQ(m_object.mCurDownloadStatus.mReason.Type(), DISCONNECTED);
}

TEST_F(TrackableDownload, BatchesStopAtTheFirstRecordThatDoesNotFit) {
    const std::string largest(500, 'A');
    AddZone("a", 1, largest, DS_NEED_ADD);
    AddZone("b", 2, std::string(502, 'B'), DS_NEED_UPDATE);
    AddZone("c", 3, "0C", DS_NEED_ADD);
    AddZone("d", 4, "0D", DS_NEED_ADD).mDownloadErrorCounter = 2;
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
    EXPECT_TRUE(SentFrames().empty());

    m_object.mZones.erase_if([](const CZoneForDevice&) { return true; });
    const std::string adds(494, '1');
    AddZone("a", 1, adds, DS_NEED_ADD);
    AddZone("b", 0x0B, "0B", DS_NEED_REMOVE);
    AddZone("c", 0x0C, "0C", DS_NEED_REMOVE);
    ASSERT_TRUE(m_object.DownloadingZones(*m_server));
    const std::vector<std::string> frames = SentFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], "000100FD01F7" + adds + "0802000B");
    EXPECT_EQ(frames[0].size(), 514u);
}

TEST_F(TrackableDownload, UnansweredRequestsAreResentAfterTenWholeSeconds) {
    SetStatus(DLS_OUTDATED, SimpleReason(CHANGE));
    m_object.mActivityStatus = ACT_ZONE_DOWNLOAD_REQUEST;
    m_object.mRequestCounter = 1;
    m_object.mActivityTime = At(36000, 500000);
    m_object.Supervise(*m_server, At(36011, 400000));
    EXPECT_TRUE(SentFrames().empty());
    EXPECT_EQ(m_object.mRequestCounter, 1u);
    m_object.Supervise(*m_server, At(36011, 600000));
    EXPECT_EQ(SentFrames(), std::vector<std::string>{"000100020F00"});
    EXPECT_EQ(m_object.mRequestCounter, 2u);

    // A batch with nothing left to send is resent as the completion.
    AddZone("z1", 1, "0101", DS_DOWNLOADED);
    struct Case {
        activityStatus_t activity;
        std::string frame;
        activityStatus_t after;
    };
    for (const Case& c : std::vector<Case>{
             {ACT_ERASE_ALL_REQUEST, "000100020500", ACT_ERASE_ALL_REQUEST},
             {ACT_VERIFY_REQUEST, CrcFrame("03", "0101"), ACT_VERIFY_REQUEST},
             {ACT_DOWNLOADING_ZONES, CrcFrame("06", "0101"), ACT_ZONE_DOWNLOAD_COMPLETED},
             {ACT_ZONE_DOWNLOAD_COMPLETED, CrcFrame("06", "0101"), ACT_ZONE_DOWNLOAD_COMPLETED},
         }) {
        m_object.mActivityStatus = c.activity;
        m_object.mRequestCounter = 1;
        m_object.Supervise(*m_server, After(SentAt(), 11));
        EXPECT_EQ(SentFrames(), std::vector<std::string>{c.frame}) << c.activity;
        EXPECT_EQ(m_object.mActivityStatus, c.after);
        EXPECT_EQ(m_object.mRequestCounter, 2u);
    }

    SetStatus(DLS_UPDATED);
    m_object.Supervise(*m_server, After(SentAt(), 100));
    EXPECT_TRUE(SentFrames().empty());
}

}  // namespace
}  // namespace ozra::test
