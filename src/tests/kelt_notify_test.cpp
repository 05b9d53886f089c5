#include <gtest/gtest.h>

#include "core/tests/test_support.h"
#include "kelt_fixture.h"

namespace ozra::test {
namespace {

TEST_F(KeltTest, DataNotificationsClearTheContextByTheirTables) {
    StartWithUpdatedT1();
    const std::vector<std::pair<std::string, bool>> cases = {
        {R"({"object":"ZONE"})", true},
        {R"({"object":"GROUP","action":"created"})", false},
        {R"({"object":"GROUP","action":"updated"})", true},
        {R"({"object":"TRACKABLE_OBJECT","action":"Updated"})", false},
        {R"({"object":"TRACKABLE_OBJECT_GROUPS","action":"created"})", true},
        {R"({"object":"TRACKABLE_OBJECT_ASSOCIATION","action":"updated","plist":{"obj_uid":"t1"}})", true},
        {R"({"object":"TRACKABLE_OBJECT_ASSOCIATION","action":"updated","plist":{"obj_uid":1}})", false},
        {R"({"object":"TRACKABLE_OBJECT_ASSOCIATION","action":"deleted","plist":{"obj_uid":"t1"}})", false},
        {R"({"object":"GROUP","action":7})", false},
        {R"({"object":1})", false},
        {R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":{}})", false},
    };
    for (const auto& [notification, clears] : cases) {
        SCOPED_TRACE(notification);
        m_kelt->notify_handler(notification);
        EXPECT_EQ(m_kelt->IsContextActual(), !clears);
        m_kelt->processing();
    }
    EXPECT_THROW(m_kelt->notify_handler("{\"object\":"), std::logic_error);
    EXPECT_ANY_THROW(m_kelt->notify_handler(R"("ZONE")"));
    EXPECT_ANY_THROW(m_kelt->notify_handler(
        R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":{"zone_download_request":[5]}})"));
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

TEST_F(KeltTest, MessagesArriveThroughTheStream) {
    StartWithUpdatedT1();
    EXPECT_TRUE(libs::core::testing::publish_until(
        *m_loop,
        [this] { m_proxy.send(zmq::str_buffer("#notify {\"object\":\"ZONE\"}"), zmq::send_flags::none); },
        [this] { return !m_kelt->IsContextActual(); }));
    const std::string reply = "#user_msg " + Reply("t1", CrcRecord(0x04, 0xBAD));
    m_proxy.send(zmq::buffer(reply), zmq::send_flags::none);
    EXPECT_TRUE(libs::core::testing::run_until(
        *m_loop, [this] { return Object("t1").mCurDownloadStatus.mName == DLS_OOSYNC; }));
}

}  // namespace
}  // namespace ozra::test
