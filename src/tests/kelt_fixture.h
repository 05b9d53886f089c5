#pragma once

#include <gtest/gtest.h>
#include <json/value.h>
#include <zmq.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "fake_server/fake_location_server.h"
#include "kelt.h"

namespace ozra::test {

// Server data of the controller tests: project "p1", zone types "alarm" (1), "boundary_in" (2) and
// "boundary_out" (3).
namespace data {
Json::Value ZoneType(const std::string& name, unsigned id);
Json::Value Zone(const std::string& uid, unsigned zoneId, const std::string& type = "alarm", int size = 10);
Json::Value Coupled(Json::Value zone, unsigned coupledId);
Json::Value Trackable(const std::string& uid, const std::string& mac = "0011223344556677");
Json::Value Unassociated(const std::string& uid);
Json::Value Status(const std::string& uid, const std::string& status);
Json::Value Array(std::initializer_list<Json::Value> elements);
}  // namespace data

inline const std::string download_request = frame::Command(frame::CMD_DOWNLOAD_REQUEST);
// The stored status after a change on the server.
inline const std::string changed = "OUTDATED: zone or trackable changed";

// A device reply frame around the records, as the "user_msg" payload of the uid.
std::string Reply(const std::string& uid, const std::string& records);
// Reply records.
std::string CrcRecord(uint8_t code, uint16_t crc);
std::string CodeRecord(uint8_t code, uint8_t value);
// The server's zone download request notification for the uids.
std::string DownloadRequest(const std::string& action, const std::vector<std::string>& uids);
// Matches a status report naming the uid with the status.
varnok::test_tools::request_matcher ReportOf(const std::string& uid, const std::string& status);
// The CRC16 of the descriptors the tag holds, worked out from the zone texts in zone ID order.
uint16_t ExpectedCrc(const kelt& controller, const std::string& uid);

// A controller on a real events loop and message stream, talking to a fake location server that serves
// the zone types, the zones z1 (ID 1) and z2 (ID 2), the objects t1 and t2 and t1's stored status until a
// test replaces them.
class KeltTest : public ::testing::Test {
protected:
    KeltTest();

    void Start() {
        m_kelt = std::make_unique<kelt>(m_logger, *m_loop, *m_signals, *m_stream, "http", "127.0.0.1",
                                        m_fake->port(), m_zone_types);
        m_kelt->initialize();
    }
    // The hex frame of the next user message to the uid; a test failure and empty when none comes.
    std::string NextFrameTo(const std::string& uid);
    void Answer(const std::string& uid, const std::string& records) {
        m_kelt->user_msg_handler(Reply(uid, records));
    }
    // Starts and makes t1 verified and DLS_UPDATED through a CRC response.
    void StartWithUpdatedT1() {
        Start();
        m_kelt->processing();
        EXPECT_EQ(NextFrameTo("t1"),
                  frame::CrcCommand(frame::CMD_CRC_REQUEST, Object("t1").CurrentCRC(true)));
        Answer("t1", CrcRecord(0x04, Object("t1").CurrentCRC(false)));
        m_kelt->processing();
        ASSERT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);
    }
    CTrackableObject& Object(const std::string& uid) { return m_kelt->TrObjects().at(uid); }
    // Serves the zones or objects, notifies the change and runs the processing.
    void ChangeZones(const Json::Value& zones) {
        m_fake->set_zones(zones);
        m_kelt->notify_handler(R"({"object":"ZONE"})");
        m_kelt->processing();
    }
    void ChangeTrackables(const Json::Value& objects) {
        m_fake->set_trackable_objects(objects);
        m_kelt->notify_handler(R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
        m_kelt->processing();
    }
    // t1 up to date, then z1 changed on the server and the download requested.
    void StartDownloadOfChangedZone() {
        StartWithUpdatedT1();
        ChangeZones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20)}));
        RequestUpdate("t1");
    }
    static std::string ZoneReport(uint16_t zoneId, uint8_t errorCode) {
        return "0203" + HexNumber(zoneId, 4) + HexNumber(errorCode, 2);
    }
    // An Add zone record for the entry's descriptor, as a batch frame carries it.
    static std::string AddRecord(const CZoneForDevice& zone) {
        return frame::AddZoneRecord(zone.mDescriptor->Hex());
    }
    // The server's "UPDATE" request for the uid; expects the download request frame.
    void RequestUpdate(const std::string& uid) {
        m_kelt->notify_handler(DownloadRequest("UPDATE", {uid}));
        EXPECT_EQ(NextFrameTo(uid), download_request);
    }
    // The update request, accepted by the device.
    void Download(const std::string& uid) {
        RequestUpdate(uid);
        Answer(uid, CodeRecord(0x8F, 0));
    }
    // Expects t1's download complete frame, then confirms it with t1's CRC and runs the processing.
    void Complete() {
        EXPECT_EQ(NextFrameTo("t1"),
                  frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, Object("t1").CurrentCRC(false)));
        EXPECT_EQ(Object("t1").mActivityStatus, ACT_ZONE_DOWNLOAD_COMPLETED);
        Answer("t1", CrcRecord(0x86, Object("t1").CurrentCRC(false)));
        m_kelt->processing();
    }
    // The status the fake server stores for the uid, followed by ": reason" when there is one.
    std::string Stored(const std::string& uid) const {
        const Json::Value status = m_fake->download_status(uid).value_or(Json::Value());
        return status["download_status"].asString() +
               (status["reason"].asString().empty() ? "" : ": " + status["reason"].asString());
    }
    // User messages the server has received once every queued one has ended.
    std::size_t UserMessageCount() const {
        m_kelt->WaitForAsyncOperations();
        return m_fake
            ->requests(varnok::test_tools::match_request("POST", varnok::test_tools::rest_paths::user_msg))
            .size();
    }

    libs::core::logger m_logger{"varnok-test", "main"};
    std::unique_ptr<varnok::test_tools::fake_location_server> m_fake =
        varnok::test_tools::make_fake_location_server();
    std::unique_ptr<libs::core::core> m_core = libs::core::core::create(m_logger);
    std::unique_ptr<libs::core::events_loop> m_loop = m_core->create_events_loop("main");
    std::unique_ptr<libs::core::events_loop::signals_handle> m_signals = m_loop->stop_on_signals();
    zmq::context_t m_zmq;
    zmq::socket_t m_proxy{m_zmq, zmq::socket_type::pub};
    std::unique_ptr<libs::core::message_stream> m_stream;
    std::set<std::string> m_zone_types{"alarm", "boundary_in", "boundary_out"};
    std::unique_ptr<kelt> m_kelt;

private:
    std::map<std::string, std::size_t> m_frames_read;
};

}  // namespace ozra::test
