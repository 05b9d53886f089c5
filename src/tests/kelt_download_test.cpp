#include <gtest/gtest.h>

#include "kelt_fixture.h"

namespace ozra::test {
namespace {

namespace reason = DownloadStatusReason;

const std::string erase_all = "000100020500";

using KeltDownloadTest = KeltTest;

TEST_F(KeltDownloadTest, AChangedZoneIsDownloadedAndConfirmed) {
    StartDownloadOfChangedZone();
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_IN_PROCESS);
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(Object("t1").mZones.at("z1"))));

    m_kelt->user_msg_handler(Reply("t1", ZoneReport(1, 0)));
    EXPECT_EQ(Object("t1").mZones.at("z1").mDevState, DS_DOWNLOADED);
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
    EXPECT_EQ(Object("t1").mActivityStatus, ACT_NONE);
}

TEST_F(KeltDownloadTest, AnOutOfSyncObjectIsErasedAndDownloadedWhole) {
    Start();
    m_kelt->processing();
    NextFrameTo("t1");
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x04, 0xBEEF)));
    ASSERT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_OOSYNC);
    RequestUpdate("t1");

    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 2)));
    EXPECT_EQ(NextFrameTo("t1"), erase_all);
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x85, 0)));
    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(zones.at("z1")) + AddRecord(zones.at("z2"))));

    // Reports out of the batch's order are matched all the same.
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(2, 0) + ZoneReport(1, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "UPDATED");
}

TEST_F(KeltDownloadTest, ARejectedDownloadRequestLeavesTheObjectOutOfSync) {
    StartDownloadOfChangedZone();
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 1)));
    m_kelt->processing();
    EXPECT_EQ(StoredStatus("t1"), "OOSYNC");
    EXPECT_EQ(StoredReason("t1"), "download request rejected");
}

TEST_F(KeltDownloadTest, AZoneFailingTwiceIsReportedAsAddFailed) {
    StartDownloadOfChangedZone();
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    const std::string batch = NextFrameTo("t1");
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(1, 7)));
    EXPECT_EQ(NextFrameTo("t1"), batch);
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(1, 9)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredStatus("t1"), "OUTDATED");
    EXPECT_EQ(StoredReason("t1"), reason::AddFailed(1, "zone z1", 9).String());
}

TEST_F(KeltDownloadTest, ATooLargeZoneIsNeverSentAndReported) {
    StartWithUpdatedT1();
    Json::Value large = data::Zone("z3", 3);
    for (int i = 0; i < 80; ++i) {
        Json::Value point;
        point["x"] = 100000 * i;
        point["y"] = -100000 * i;
        large["zone_geometry"]["positions"].append(point);
    }
    m_fake->set_zones(data::Array({data::Zone("z1", 1, "alarm", 30), large}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_kelt->processing();
    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo("t1"),
              frame::ToDevice(AddRecord(Object("t1").mZones.at("z1")) + frame::DeleteZoneRecord(2)));
    EXPECT_TRUE(Object("t1").mZones.at("z3").mTooBig);
    m_kelt->user_msg_handler(Reply("t1", ZoneReport(1, 0) + ZoneReport(2, 0)));
    ExpectDownloadComplete();
    ConfirmDownloadComplete();
    EXPECT_EQ(StoredReason("t1"), reason::TooLargeZone(3, "zone z3").String());
}

TEST_F(KeltDownloadTest, RepliesToRequestsNotOutstandingAreIgnored) {
    StartWithUpdatedT1();
    const std::size_t sent = UserMessageCount();
    for (const std::string& records :
         {ZoneReport(1, 0), CodeRecord(0x85, 0), CrcRecord(0x86, 0x1234), CodeRecord(0x8F, 0)}) {
        m_kelt->user_msg_handler(Reply("t1", records));
    }
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);
    EXPECT_EQ(Object("t1").mActivityStatus, ACT_NONE);
    m_kelt->processing();
    EXPECT_EQ(UserMessageCount(), sent);
}

TEST_F(KeltDownloadTest, CrcReportsAlwaysGetAnAcknowledge) {
    StartWithUpdatedT1();
    const uint16_t crc = Object("t1").CurrentCRC(true);
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x87, crc ^ 0xFF)));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mReason.Type(), reason::CRC_MISMATCH);
    EXPECT_EQ(NextFrameTo("t1"),
              frame::CrcCommand(frame::CMD_CRC_ACKNOWLEDGE, Object("t1").CurrentCRC(true)));

    // A matching report recovers only a disconnected object.
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x87, Object("t1").CurrentCRC(true))));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_OOSYNC);
    NextFrameTo("t1");
    Object("t1").SetDownloadStatus(CDownloadStatus(DLS_OOSYNC, reason::SimpleReason(reason::DISCONNECTED)));
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x87, Object("t1").CurrentCRC(true))));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);
    NextFrameTo("t1");
}

TEST_F(KeltDownloadTest, DecodingSkipsBadRecordsAndKeepsWhatWasApplied) {
    m_fake->set_zones(
        data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20), data::Zone("z3", 3)}));
    StartWithUpdatedT1();
    m_fake->set_zones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 40),
                                   data::Zone("z3", 3, "alarm", 50)}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_kelt->processing();
    RequestUpdate("t1");
    m_kelt->user_msg_handler(Reply("t1", "99020000" + std::string("85020000") + CodeRecord(0x8F, 0)));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_IN_PROCESS);
    NextFrameTo("t1");

    // Lower case is accepted; the unknown zone 9 ends decoding after zone 1 was applied.
    std::string lower = Reply("t1", ZoneReport(1, 0) + ZoneReport(9, 0) + ZoneReport(2, 0));
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    m_kelt->user_msg_handler(lower);
    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(zones.at("z1").mDevState, DS_DOWNLOADED);
    EXPECT_EQ(zones.at("z2").mDevState, DS_NEED_UPDATE);

    // A truncated record raises after the whole record before it was applied.
    EXPECT_THROW(m_kelt->user_msg_handler(R"({"dev_id":"t1","hex":"00020008)" + ZoneReport(2, 0) + "0203\"}"),
                 std::out_of_range);
    EXPECT_EQ(zones.at("z2").mDevState, DS_DOWNLOADED);

    // Characters beyond the payload length are ignored.
    m_kelt->user_msg_handler(R"({"dev_id":"t1","hex":"00020005)" + ZoneReport(3, 0) + "0203000100\"}");
    EXPECT_EQ(zones.at("z3").mDevState, DS_DOWNLOADED);
    EXPECT_EQ(zones.at("z1").mDevState, DS_DOWNLOADED);
    ExpectDownloadComplete();
}

TEST_F(KeltDownloadTest, MalformedMessagesChangeNothing) {
    StartWithUpdatedT1();
    try {
        m_kelt->user_msg_handler("not json");
        ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("handle user_msg: ", 0), 0U) << e.what();
    }
    for (const std::string message :
         {R"({"hex":"000200048602ABCD"})", R"({"dev_id":7,"hex":"000200048602ABCD"})",
          R"({"dev_id":"t1","hex":"000100048602ABCD"})", R"({"dev_id":"t1"})", R"(null)"}) {
        m_kelt->user_msg_handler(message);
    }
    EXPECT_ANY_THROW(m_kelt->user_msg_handler(R"([1,2])"));
    EXPECT_THROW(m_kelt->user_msg_handler(R"({"dev_id":"t1","hex":"000200"})"), std::out_of_range);
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);
    EXPECT_EQ(Object("t1").mActivityStatus, ACT_NONE);
}

}  // namespace
}  // namespace ozra::test
