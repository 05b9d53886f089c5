#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "kelt_fixture.h"

namespace ozra::test {

using namespace std::chrono_literals;
using varnok::test_tools::response_fault;
namespace paths = varnok::test_tools::rest_paths;

// A server answer that fails the re-read: on the path, the fault, or when a body is given, that body. The
// server tests own the decoding failures by type.
class KeltBadReReadTest
    : public KeltTest,
      public ::testing::WithParamInterface<std::tuple<std::string, response_fault, std::string>> {};

TEST_P(KeltBadReReadTest, ChangesNothingAndTheNextRunDeliversTheChange) {
    StartWithUpdatedT1();
    const std::string held = Object("t1").mZones.at("z1").mDescriptor->Hex();
    m_fake->set_zones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    const auto& [path, fault, body] = GetParam();
    if (body.empty()) {
        m_fake->set_fault(fault, path, "GET");
    } else {
        m_fake->set_raw_body(path, body);
    }
    EXPECT_ANY_THROW(m_kelt->processing());
    const auto& zones = Object("t1").mZones;
    EXPECT_EQ(std::make_tuple(m_kelt->IsContextActual(), zones.size(), zones.at("z1").mDevState,
                              Object("t1").mCurDownloadStatus.mName),
              std::make_tuple(false, 2U, DS_DOWNLOADED, DLS_UPDATED));

    m_fake->clear_faults();
    m_fake->clear_raw_bodies();
    m_kelt->processing();
    EXPECT_EQ(std::make_tuple(zones.at("z1").mDevState, zones.at("z1").mOldDescriptor->Hex(), Stored("t1")),
              std::make_tuple(DS_NEED_UPDATE, held, changed));
}

INSTANTIATE_TEST_SUITE_P(Answers, KeltBadReReadTest,
                         ::testing::Values(std::make_tuple(paths::track_obj, response_fault{500}, ""),
                                           std::make_tuple(paths::zones, response_fault{},
                                                           R"({"error":"bad gateway","code":502})")));

// A zone moving to another ID is deleted under the old one first; an ID it frees is added to only after.
TEST_F(KeltTest, AZoneMovingToAnotherIdIsDeletedThereFirst) {
    StartWithUpdatedT1();
    const auto& zones = Object("t1").mZones;
    for (const auto& [moved, freed, added] :
         std::vector<std::tuple<Json::Value, uint16_t, std::vector<std::string>>>{
             {data::Array({data::Zone("z1", 7), data::Zone("z2", 2, "alarm", 20)}), 1, {"z1"}},
             {data::Array(
                  {data::Zone("a0", 2, "alarm", 40), data::Zone("z1", 7), data::Zone("z2", 3, "alarm", 20)}),
              2,
              {"a0", "z2"}}}) {
        ChangeZones(moved);
        Download("t1");
        EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(frame::DeleteZoneRecord(freed)));
        Answer("t1", ZoneReport(freed, 0));
        std::string adds;
        std::string reports;
        for (const std::string& uid : added) {
            adds += AddRecord(zones.at(uid));
            reports += ZoneReport(zones.at(uid).ZoneID(), 0);
        }
        EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(adds));
        Answer("t1", reports);
        Complete();
        EXPECT_EQ(Stored("t1"), "UPDATED");
    }
    EXPECT_TRUE(zones.UpToDate());
}

// Five sends unanswered end in "disconnected"; replies that answer nothing do not count.
TEST_F(KeltTest, ADeviceAnsweringNonsenseStillReachesTheGiveUpRule) {
    StartDownloadOfChangedZone();
    Answer("t1", CodeRecord(0x8F, 0));
    NextFrameTo("t1");
    for (int send = 1; send <= 5; ++send) {
        // Not found, already received, not requested.
        Answer("t1", ZoneReport(9, 0) + ZoneReport(2, 0) + CodeRecord(0x85, 0));
        m_kelt->WaitForAsyncOperations();
        // Supervision learns when the server took the frame; the answer time-out counts from there.
        m_kelt->processing();
        Object("t1").mActivityTime.tv_sec -= 11;
        m_kelt->processing();
        if (send < 5) {
            NextFrameTo("t1");
        }
    }
    EXPECT_EQ(Stored("t1"), "OOSYNC: disconnected");
}

// z1 applies again before its delete is confirmed: first with the geometry the device holds, then with
// another.
TEST_F(KeltTest, AZoneApplyingAgainBeforeItsDeleteIsConfirmedIsNotDeleted) {
    StartWithUpdatedT1();
    const std::string held = Object("t1").mZones.at("z1").mDescriptor->Hex();
    Json::Value inactive = data::Zone("z1", 1);
    inactive["active"] = false;
    for (const int size : {10, 30}) {
        ChangeZones(data::Array({inactive, data::Zone("z2", 2, "alarm", 20)}));
        EXPECT_EQ(Object("t1").mZones.at("z1").mDevState, DS_NEED_REMOVE);
        ChangeZones(data::Array({data::Zone("z1", 1, "alarm", size), data::Zone("z2", 2, "alarm", 20)}));
        const CZoneForDevice& z1 = Object("t1").mZones.at("z1");
        Download("t1");
        if (size == 10) {
            EXPECT_EQ(z1.mDevState, DS_DOWNLOADED);
        } else {
            EXPECT_EQ(z1.mOldDescriptor->Hex(), held);
            EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(z1)));
            Answer("t1", ZoneReport(1, 0));
        }
        Complete();
        EXPECT_EQ(Stored("t1"), "UPDATED") << size;
    }
}

// A zone too large for a frame is never sent and reported; it is sent again once it shrinks.
TEST_F(KeltTest, ATooLargeZoneIsReportedAndSentAgainWhenItShrinks) {
    StartWithUpdatedT1();
    Json::Value large = data::Zone("z3", 3);
    for (int i = 3; i < 43; ++i) {
        large["zone_geometry"]["positions"][i]["x"] = i;
        large["zone_geometry"]["positions"][i]["y"] = -i;
    }
    ChangeZones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20), large}));
    Download("t1");
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(Object("t1").mZones.at("z1"))));
    EXPECT_TRUE(Object("t1").mZones.at("z3").mTooBig);
    Answer("t1", ZoneReport(1, 0));
    Complete();
    const std::string tooLarge = "OUTDATED: " + DownloadStatusReason::TooLargeZone(3, "zone z3").String();
    EXPECT_EQ(Stored("t1"), tooLarge);

    // The server's request clears the mark as it clears the error counters.
    RequestUpdate("t1");
    EXPECT_FALSE(Object("t1").mZones.at("z3").mTooBig);
    Answer("t1", CodeRecord(0x8F, 0));
    Complete();
    EXPECT_EQ(Stored("t1"), tooLarge);

    ChangeZones(data::Array(
        {data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20), data::Zone("z3", 3)}));
    EXPECT_EQ(Stored("t1"), changed);
    Download("t1");
    EXPECT_EQ(NextFrameTo("t1"), frame::ToDevice(AddRecord(Object("t1").mZones.at("z3"))));
    Answer("t1", ZoneReport(3, 0));
    Complete();
    EXPECT_EQ(Stored("t1"), "UPDATED");
}

varnok::test_tools::request_matcher LookupOf(const std::string& uid) {
    return varnok::test_tools::match_request("GET", std::string(paths::track_obj) + uid);
}

TEST_F(KeltTest, TheServersStatusConvergesAfterAReportThatLandedLate) {
    StartDownloadOfChangedZone();
    m_fake->set_fault({{}, false, 12s, true, true}, paths::zone_download_status, "POST");
    Answer("t1", CodeRecord(0x8F, 0));
    EXPECT_ANY_THROW(m_kelt->processing());

    NextFrameTo("t1");
    Answer("t1", ZoneReport(1, 0));
    Complete();
    ASSERT_EQ(Stored("t1"), "UPDATED");

    // The IN_PROCESS report lands after the UPDATED one; the daemon reports UPDATED again afterwards.
    m_fake->clear_requests();
    std::thread loop([this] { m_loop->run(); });
    const bool reportedAgain = m_fake->wait_for_requests(ReportOf("t1", "UPDATED"), 1, 30s);
    m_loop->stop();
    loop.join();
    EXPECT_TRUE(reportedAgain);
    EXPECT_EQ(Stored("t1"), "UPDATED");
}

// A uid the server does not know or refuses (4xx) is not looked up again; a failing or silent server
// suspends every look-up. A uid looked up is managed with its zones. A data notification starts a new
// period.
TEST_F(KeltTest, AFailedLookUpSuspendsLookUpsOfThatUidOrOfAllForThePeriod) {
    for (const auto& [fault, othersLookedUp] : std::vector<std::pair<response_fault, bool>>{
             {{}, true}, {{404}, true}, {{414}, true}, {{503}, false}, {{{}, false, 11s}, false}}) {
        SCOPED_TRACE(fault.status.value_or(0));
        Start();
        m_fake->set_fault(fault, std::string(paths::track_obj) + "stray", "GET");
        EXPECT_ANY_THROW(Answer("stray", CrcRecord(0x87, 0x1234)));
        Answer("stray", CrcRecord(0x87, 0x1234));
        EXPECT_EQ(m_fake->requests(LookupOf("stray")).size(), 1U);
        Answer("t2", CrcRecord(0x87, 0x1234));
        const std::size_t managed = m_kelt->TrObjects().count("t2");
        EXPECT_EQ(
            std::make_tuple(managed, m_fake->requests(LookupOf("t2")).size(),
                            managed == 0 ? 0U : Object("t2").mZones.size()),
            std::make_tuple(othersLookedUp ? 1U : 0U, othersLookedUp ? 1U : 0U, othersLookedUp ? 2U : 0U));
        m_fake->clear_faults();
        m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"created"})");
        EXPECT_ANY_THROW(Answer("stray", CrcRecord(0x87, 0x1234)));
        EXPECT_EQ(m_fake->requests(LookupOf("stray")).size(), 2U);
        m_kelt.reset();
        m_fake->clear_requests();
    }
}

}  // namespace ozra::test
