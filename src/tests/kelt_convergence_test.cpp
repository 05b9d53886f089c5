#include <gtest/gtest.h>

#include <thread>

#include "kelt_fixture.h"

namespace ozra::test {
namespace {

using namespace std::chrono_literals;
using varnok::test_tools::match_request;
using varnok::test_tools::response_fault;
namespace paths = varnok::test_tools::rest_paths;

varnok::test_tools::request_matcher LookupOf(const std::string& uid) {
    return match_request("GET", std::string(paths::track_obj) + uid);
}

TEST_F(KeltTest, TheServersStatusConvergesAfterAReportThatLandedLate) {
    StartDownloadOfChangedZone();
    response_fault late;
    late.delay = 12s;
    late.lands_late = true;
    late.once = true;
    m_fake->set_fault(late, paths::zone_download_status, "POST");
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
        EXPECT_EQ(m_kelt->TrObjects().count("t2"), othersLookedUp ? 1U : 0U);
        EXPECT_EQ(m_fake->requests(LookupOf("t2")).size(), othersLookedUp ? 1U : 0U);
        if (othersLookedUp) {
            EXPECT_EQ(Object("t2").mZones.size(), 2U);
        }
        m_fake->clear_faults();
        m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"created"})");
        EXPECT_ANY_THROW(Answer("stray", CrcRecord(0x87, 0x1234)));
        EXPECT_EQ(m_fake->requests(LookupOf("stray")).size(), 2U);
        m_kelt.reset();
        m_fake->clear_requests();
    }
}

}  // namespace
}  // namespace ozra::test
