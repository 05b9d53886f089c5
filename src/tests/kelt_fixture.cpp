#include "kelt_fixture.h"

#include <json/reader.h>

#include <chrono>
#include <cstdio>
#include <sstream>

namespace ozra::test {

using varnok::test_tools::match_request;
using varnok::test_tools::rest_paths::user_msg;

namespace {

constexpr std::chrono::seconds wait_limit{10};

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

Json::Value Parse(const std::string& text) {
    Json::Value value;
    std::istringstream stream(text);
    Json::parseFromStream(Json::CharReaderBuilder(), stream, &value, nullptr);
    return value;
}

}  // namespace

namespace data {

Json::Value ZoneType(const std::string& name, unsigned id) {
    Json::Value type;
    type["name"] = name;
    type["id"] = id;
    return type;
}

Json::Value Zone(const std::string& uid, unsigned zoneId, const std::string& type, int size) {
    Json::Value zone;
    zone["uid"] = uid;
    zone["active"] = true;
    zone["dynamic"] = false;
    zone["project_uid"] = "p1";
    zone["name"] = "zone " + uid;
    zone["default_allowed"] = false;
    zone["zone_type_name"] = type;
    zone["zone_exceptions"] = Json::Value(Json::arrayValue);
    zone["zone_exceptions_groups"] = Json::Value(Json::arrayValue);
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{size, 0}, std::pair{size, size}}) {
        Json::Value point;
        point["x"] = x;
        point["y"] = y;
        zone["zone_geometry"]["positions"].append(point);
    }
    zone["sublocation_id"] = 1;
    zone["zone_id"] = zoneId;
    return zone;
}

Json::Value Coupled(Json::Value zone, unsigned coupledId) {
    zone["user_params"]["coupled"] = coupledId;
    return zone;
}

Json::Value Trackable(const std::string& uid, const std::string& mac) {
    Json::Value object;
    object["uid"] = uid;
    object["node"]["project_uid"] = "p1";
    object["node"]["mac_address"] = mac;
    object["node"]["groups"] = Json::Value(Json::arrayValue);
    return object;
}

Json::Value Unassociated(const std::string& uid) {
    Json::Value object;
    object["uid"] = uid;
    object["project_uid"] = "p1";
    return object;
}

Json::Value Status(const std::string& uid, const std::string& status) {
    Json::Value element;
    element["trackable_uid"] = uid;
    element["download_status"] = status;
    element["ts"] = "2026-12-01T10:00:00.000Z";
    return element;
}

Json::Value Array(std::initializer_list<Json::Value> elements) {
    Json::Value array(Json::arrayValue);
    for (const Json::Value& element : elements) {
        array.append(element);
    }
    return array;
}

}  // namespace data

std::string Reply(const std::string& uid, const std::string& records) {
    return "{\"dev_id\":\"" + uid + "\",\"hex\":\"0002" + Hex(records.size() / 2, 4) + records + "\"}";
}

std::string ZoneReport(uint16_t zoneId, uint8_t errorCode) {
    return "0203" + Hex(zoneId, 4) + Hex(errorCode, 2);
}

std::string CrcRecord(uint8_t code, uint16_t crc) {
    return Hex(code, 2) + "02" + Hex(crc, 4);
}

std::string CodeRecord(uint8_t code, uint8_t value) {
    return Hex(code, 2) + "01" + Hex(value, 2);
}

std::string AddRecord(const CZoneForDevice& zone) {
    return frame::AddZoneRecord(zone.mDescriptor->Hex());
}

KeltTest::KeltTest() {
    m_proxy.bind("tcp://127.0.0.1:*");
    m_stream = m_loop->create_zmq_message_stream(m_proxy.get(zmq::sockopt::last_endpoint));
    ServeDefaultData();
}

KeltTest::~KeltTest() {
    m_kelt.reset();
}

void KeltTest::ServeDefaultData() {
    m_fake->set_zone_types(data::Array(
        {data::ZoneType("alarm", 1), data::ZoneType("boundary_in", 2), data::ZoneType("boundary_out", 3)}));
    m_fake->set_zones(data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20)}));
    m_fake->set_trackable_objects(data::Array({data::Trackable("t1"), data::Trackable("t2")}));
    m_fake->set_download_statuses(data::Array({data::Status("t1", "UPDATED")}));
}

void KeltTest::Start() {
    m_kelt = std::make_unique<kelt>(m_logger, *m_loop, *m_signals, *m_stream, "http", "127.0.0.1",
                                    m_fake->port(), m_zone_types);
    m_kelt->initialize();
}

std::string KeltTest::NextFrameTo(const std::string& uid) {
    const auto to_uid = [&uid](const varnok::test_tools::recorded_request& request) {
        return request.method == "POST" && request.path == user_msg && Parse(request.body)["uid"] == uid;
    };
    std::size_t& read = m_frames_read[uid];
    if (!m_fake->wait_for_requests(to_uid, read + 1, wait_limit)) {
        ADD_FAILURE() << "no user message to " << uid;
        return {};
    }
    return Parse(m_fake->requests(to_uid).at(read++).body)["data"]["hex"].asString();
}

std::size_t KeltTest::UserMessageCount() const {
    m_kelt->WaitForAsyncOperations();
    return m_fake->requests(match_request("POST", user_msg)).size();
}

void KeltTest::StartWithUpdatedT1() {
    Start();
    m_kelt->processing();
    EXPECT_EQ(NextFrameTo("t1"), frame::CrcCommand(frame::CMD_CRC_REQUEST, Object("t1").CurrentCRC(true)));
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x04, Object("t1").CurrentCRC(false))));
    m_kelt->processing();
    ASSERT_EQ(Object("t1").mCurDownloadStatus.mName, DLS_UPDATED);
}

void KeltTest::StartDownloadOfChangedZone() {
    StartWithUpdatedT1();
    m_fake->set_zones(data::Array({data::Zone("z1", 1, "alarm", 30), data::Zone("z2", 2, "alarm", 20)}));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_kelt->processing();
    RequestUpdate("t1");
}

void KeltTest::RequestUpdate(const std::string& uid) {
    m_kelt->notify_handler(R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE","plist":)"
                           R"({"zone_download_request":[{"trackable_uid":")" +
                           uid + R"("}]}})");
    EXPECT_EQ(NextFrameTo(uid), download_request);
}

void KeltTest::ExpectDownloadComplete() {
    EXPECT_EQ(NextFrameTo("t1"),
              frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, Object("t1").CurrentCRC(false)));
    EXPECT_EQ(Object("t1").mActivityStatus, ACT_ZONE_DOWNLOAD_COMPLETED);
}

void KeltTest::ConfirmDownloadComplete() {
    m_kelt->user_msg_handler(Reply("t1", CrcRecord(0x86, Object("t1").CurrentCRC(false))));
    m_kelt->processing();
}

CTrackableObject& KeltTest::Object(const std::string& uid) {
    return m_kelt->TrObjects().at(uid);
}

std::string KeltTest::StoredStatus(const std::string& uid) const {
    const auto status = m_fake->download_status(uid);
    return status ? (*status)["download_status"].asString() : std::string();
}

std::string KeltTest::StoredReason(const std::string& uid) const {
    const auto status = m_fake->download_status(uid);
    return status ? (*status)["reason"].asString() : std::string();
}

}  // namespace ozra::test
