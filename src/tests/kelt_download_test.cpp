#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "kelt_fixture.h"

namespace ozra::test {

namespace reason = DownloadStatusReason;

TEST_F(KeltTest, AnOutOfSyncObjectIsErasedAndDownloadedWhole) {
    Start();
    m_kelt->processing();
    NextFrameTo("t1");
    Answer("t1", CrcRecord(0x04, 0xBEEF));
    RequestUpdate("t1");
    Answer("t1", CodeRecord(0x8F, 2));
    EXPECT_EQ(NextFrameTo("t1"), frame::Command(frame::CMD_ERASE_ALL));
    Answer("t1", CodeRecord(0x85, 0));
    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(zones.at("z1")) + AddRecord(zones.at("z2"))));
    // Reports out of the batch's order are matched all the same.
    Answer("t1", ZoneReport(2, 0) + ZoneReport(1, 0));
    Complete();
    EXPECT_EQ(Stored("t1"), "UPDATED");
}

// The device's answers to the download request, the batch (twice) and the completion (as a CRC flip), and
// the status they end in.
class KeltAnswersTest : public KeltTest,
                        public ::testing::WithParamInterface<std::tuple<int, int, int, int, std::string>> {};

TEST_P(KeltAnswersTest, DecideTheStatus) {
    const auto& [request, firstReport, secondReport, completeCrcFlip, stored] = GetParam();
    StartDownloadOfChangedZone();
    Answer("t1", CodeRecord(0x8F, request));
    if (request == 0) {
        EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_IN_PROCESS);
        const std::string batch = NextFrameTo("t1");
        EXPECT_EQ(batch, frame::ToDevice(AddRecord(Object("t1").mZones.at("z1"))));
        if (firstReport != 0) {
            Answer("t1", ZoneReport(1, firstReport));
            EXPECT_EQ(NextFrameTo("t1"), batch);
        }
        Answer("t1", ZoneReport(1, secondReport));
        EXPECT_EQ(NextFrameTo("t1"),
                  frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, Object("t1").CurrentCRC(false)));
        Answer("t1", CrcRecord(0x86, Object("t1").CurrentCRC(false) ^ completeCrcFlip));
    }
    m_kelt->processing();
    EXPECT_EQ(Stored("t1"), stored);
    EXPECT_EQ(Object("t1").mActivityStatus, ACT_NONE);
}

INSTANTIATE_TEST_SUITE_P(
    Device, KeltAnswersTest,
    ::testing::Values(std::make_tuple(1, 0, 0, 0, "OOSYNC: download request rejected"),
                      std::make_tuple(0, 7, 9, 0, "OUTDATED: " + reason::AddFailed(1, "zone z1", 9).String()),
                      std::make_tuple(0, 7, 0, 0, "UPDATED"),
                      std::make_tuple(0, 0, 0, 1, "OOSYNC: CRC mismatch")));

TEST_F(KeltTest, MalformedMessagesAndRepliesToNoOutstandingRequestChangeNothing) {
    StartWithUpdatedT1();
    const std::size_t sent = UserMessageCount();
    Answer("t1", ZoneReport(1, 0) + CodeRecord(0x85, 0) + CrcRecord(0x86, 0x1234) + CodeRecord(0x8F, 0));
    EXPECT_THROW(m_kelt->user_msg_handler("not json"), std::logic_error);
    for (const std::string message :
         {R"({"hex":"000200048602ABCD"})", R"({"dev_id":7,"hex":"000200048602ABCD"})",
          R"({"dev_id":"t1","hex":"000100048602ABCD"})", R"({"dev_id":"t1"})", R"(null)"}) {
        m_kelt->user_msg_handler(message);
    }
    EXPECT_THROW(m_kelt->user_msg_handler(R"({"dev_id":"t1","hex":"000200"})"), std::out_of_range);
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);
    EXPECT_EQ(Object("t1").mActivityStatus, ACT_NONE);
    m_kelt->processing();
    EXPECT_EQ(UserMessageCount(), sent);
}

TEST_F(KeltTest, CrcReportsAlwaysGetAnAcknowledge) {
    StartWithUpdatedT1();
    const uint16_t crc = Object("t1").CurrentCRC(true);
    Answer("t1", CrcRecord(0x87, crc ^ 0xFF));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mReason.Type(), reason::CRC_MISMATCH);
    EXPECT_EQ(NextFrameTo("t1"), frame::CrcCommand(frame::CMD_CRC_ACKNOWLEDGE, crc));

    // A matching report recovers only a disconnected object.
    Answer("t1", CrcRecord(0x87, crc));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_OOSYNC);
    NextFrameTo("t1");
    Object("t1").SetDownloadStatus(CDownloadStatus(DLS_OOSYNC, reason::SimpleReason(reason::DISCONNECTED)));
    Answer("t1", CrcRecord(0x87, crc));
    EXPECT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);
    EXPECT_EQ(NextFrameTo("t1"), frame::CrcCommand(frame::CMD_CRC_ACKNOWLEDGE, crc));
}

TEST_F(KeltTest, DecodingSkipsBadRecordsAndKeepsWhatWasApplied) {
    m_fake->set_zones(
        data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20), data::Zone("z3", 3)}));
    StartWithUpdatedT1();
    ChangeZones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 40),
                             data::Zone("z3", 3, "alarm", 50)}));
    RequestUpdate("t1");
    // Unknown code and a record answering nothing before the download request's answer.
    Answer("t1", "99020000" + std::string("85020000") + CodeRecord(0x8F, 0));
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
    Complete();
}

}  // namespace ozra::test
