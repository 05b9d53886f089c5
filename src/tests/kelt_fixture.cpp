#include "kelt_fixture.h"

#include <chrono>

#include "core/json.h"
#include "globals.h"

namespace ozra::test {

using varnok::test_tools::rest_paths::user_msg;

static Json::Value Parse(const std::string& text) {
    return libs::core::json::try_parse(text).result;
}

namespace data {

Json::Value ZoneType(const std::string& name, unsigned id) {
    return Parse(R"({"name":")" + name + R"(","id":)" + std::to_string(id) + "}");
}

Json::Value Zone(const std::string& uid, unsigned zoneId, const std::string& type, int size) {
    const std::string s = std::to_string(size);
    return Parse(R"({"active":true,"dynamic":false,"project_uid":"p1","default_allowed":false,)"
                 R"("zone_exceptions":[],"zone_exceptions_groups":[],"sublocation_id":1,"zone_id":)" +
                 std::to_string(zoneId) + R"(,"zone_geometry":{"positions":[{"x":0,"y":0},{"x":)" + s +
                 R"(,"y":0},{"x":)" + s + R"(,"y":)" + s + R"(}]},"uid":")" + uid + R"(","name":"zone )" +
                 uid + R"(","zone_type_name":")" + type + R"("})");
}

Json::Value Coupled(Json::Value zone, unsigned coupledId) {
    zone["user_params"]["coupled"] = coupledId;
    return zone;
}

Json::Value Trackable(const std::string& uid, const std::string& mac) {
    return Parse(R"({"node":{"project_uid":"p1","groups":[],"mac_address":")" + mac + R"("},"uid":")" + uid +
                 R"("})");
}

Json::Value Unassociated(const std::string& uid) {
    return Parse(R"({"project_uid":"p1","uid":")" + uid + R"("})");
}

Json::Value Status(const std::string& uid, const std::string& status) {
    return Parse(R"({"ts":"2026-12-01T10:00:00.000Z","trackable_uid":")" + uid + R"(","download_status":")" +
                 status + R"("})");
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
    return "{\"dev_id\":\"" + uid + "\",\"hex\":\"0002" + HexNumber(records.size() / 2, 4) + records + "\"}";
}

std::string CrcRecord(uint8_t code, uint16_t crc) {
    return HexNumber(code, 2) + "02" + HexNumber(crc, 4);
}

std::string CodeRecord(uint8_t code, uint8_t value) {
    return HexNumber(code, 2) + "01" + HexNumber(value, 2);
}

std::string DownloadRequest(const std::string& action, const std::vector<std::string>& uids) {
    std::string elements;
    for (const std::string& uid : uids) {
        elements += std::string(elements.empty() ? "" : ",") + R"({"trackable_uid":")" + uid + R"("})";
    }
    return R"({"object":"ZONE_DOWNLOAD_REQUEST","action":")" + action +
           R"(","plist":{"zone_download_request":[)" + elements + "]}}";
}

varnok::test_tools::request_matcher ReportOf(const std::string& uid, const std::string& status) {
    const std::string element = "{\"trackable_uid\":\"" + uid + "\",\"download_status\":\"" + status + "\"";
    return [element](const varnok::test_tools::recorded_request& request) {
        return request.method == "POST" &&
               request.path == varnok::test_tools::rest_paths::zone_download_status &&
               request.body.find(element) != std::string::npos;
    };
}

uint16_t ExpectedCrc(const kelt& controller, const std::string& uid) {
    std::map<uint16_t, std::string> held;
    for (const auto& [zoneUid, zone] : controller.Zones()) {
        if (zone.mExceptions.count(uid) == 0) {
            held[zone.mZoneID] = zone.GetZoneDescriptor(2, 3);
        }
    }
    std::string descriptors;
    for (const auto& [zoneId, descriptor] : held) {
        descriptors += descriptor;
    }
    const std::vector<uint8_t> bytes = ParseHexString(descriptors);
    return Crc16(bytes.data(), static_cast<uint16_t>(bytes.size()));
}

KeltTest::KeltTest() {
    m_proxy.bind("tcp://127.0.0.1:*");
    m_stream = m_loop->create_zmq_message_stream(m_proxy.get(zmq::sockopt::last_endpoint));
    m_fake->set_zone_types(data::Array(
        {data::ZoneType("alarm", 1), data::ZoneType("boundary_in", 2), data::ZoneType("boundary_out", 3)}));
    m_fake->set_zones(data::Array({data::Zone("z1", 1), data::Zone("z2", 2, "alarm", 20)}));
    m_fake->set_trackable_objects(data::Array({data::Trackable("t1"), data::Trackable("t2")}));
    m_fake->set_download_statuses(data::Array({data::Status("t1", "UPDATED")}));
}

std::string KeltTest::NextFrameTo(const std::string& uid) {
    const auto to_uid = [&uid](const varnok::test_tools::recorded_request& request) {
        return request.method == "POST" && request.path == user_msg && Parse(request.body)["uid"] == uid;
    };
    std::size_t& read = m_frames_read[uid];
    if (!m_fake->wait_for_requests(to_uid, read + 1, std::chrono::seconds(10))) {
        ADD_FAILURE() << "no user message to " << uid;
        return {};
    }
    return Parse(m_fake->requests(to_uid).at(read++).body)["data"]["hex"].asString();
}

}  // namespace ozra::test
