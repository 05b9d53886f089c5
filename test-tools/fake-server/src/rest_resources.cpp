#include "rest_resources.h"

#include "fake_server/fake_location_server.h"
#include "json_text.h"

#include <core/json.h>

#include <boost/algorithm/string/predicate.hpp>

#include <chrono>
#include <ctime>

namespace varnok::test_tools {

namespace {

rest_answer error_answer(unsigned status, const std::string& text) {
    Json::Value body(Json::objectValue);
    body["error"] = text;
    return {status, to_compact_json(body)};
}

const rest_answer& ok_answer() {
    static const rest_answer ok{200, "{}"};
    return ok;
}

std::string utc_timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char result[40];
    std::snprintf(result, sizeof result, "%s.%03dZ", text, static_cast<int>(millis));
    return result;
}

bool has_string(const Json::Value& value, const char* member) {
    return value.isObject() && value[member].isString();
}

}  // namespace

rest_resources::rest_resources() {
    for (const char* member : {zone_types_member, zones_member, trackables_member, statuses_member}) {
        m_arrays[member] = Json::Value(Json::arrayValue);
    }
}

void rest_resources::set_array(const std::string& member, const Json::Value& array) {
    std::lock_guard lock(m_mutex);
    m_arrays[member] = array;
}

void rest_resources::set_raw_body(const std::string& path, const std::string& body) {
    std::lock_guard lock(m_mutex);
    m_raw_bodies[path] = body;
}

void rest_resources::clear_raw_bodies() {
    std::lock_guard lock(m_mutex);
    m_raw_bodies.clear();
}

Json::Value rest_resources::download_statuses() const {
    std::lock_guard lock(m_mutex);
    return m_arrays.at(statuses_member);
}

std::optional<Json::Value> rest_resources::download_status(const std::string& trackable_uid) const {
    std::lock_guard lock(m_mutex);
    for (const auto& status : m_arrays.at(statuses_member)) {
        if (has_string(status, "trackable_uid") && status["trackable_uid"].asString() == trackable_uid) {
            return status;
        }
    }
    return std::nullopt;
}

rest_answer rest_resources::answer(const std::string& method, const std::string& path,
                                   const std::string& body) {
    const std::string status_item_prefix = std::string(rest_paths::zone_download_status) + "/";
    if (method == "GET") {
        return answer_get(path);
    }
    if (method == "POST" && path == rest_paths::zone_download_status) {
        return answer_status_report(body);
    }
    if (method == "POST" && path == rest_paths::user_msg) {
        return answer_user_msg(body);
    }
    if (method == "DELETE" && boost::starts_with(path, status_item_prefix) &&
        path.size() > status_item_prefix.size()) {
        return answer_status_delete(path.substr(status_item_prefix.size()));
    }
    return error_answer(404, "no such resource");
}

rest_answer rest_resources::answer_get(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    if (const auto raw = m_raw_bodies.find(path); raw != m_raw_bodies.end()) {
        return {200, raw->second};
    }
    if (path == rest_paths::zone_types) {
        return wrapped(zone_types_member, m_arrays.at(zone_types_member));
    }
    if (path == rest_paths::zones) {
        return wrapped(zones_member, m_arrays.at(zones_member));
    }
    if (path == rest_paths::track_obj) {
        return wrapped(trackables_member, m_arrays.at(trackables_member));
    }
    if (path == rest_paths::zone_download_status) {
        return wrapped(statuses_member, m_arrays.at(statuses_member));
    }
    const std::string uid = boost::starts_with(path, rest_paths::track_obj)
                                ? path.substr(std::char_traits<char>::length(rest_paths::track_obj))
                                : std::string();
    if (!uid.empty() && uid.find('/') == std::string::npos) {
        return trackable_objects_of(uid);
    }
    return error_answer(404, "no such resource");
}

rest_answer rest_resources::wrapped(const std::string& member, const Json::Value& array) const {
    Json::Value body(Json::objectValue);
    body[member] = array;
    return {200, to_compact_json(body)};
}

rest_answer rest_resources::trackable_objects_of(const std::string& uid) const {
    Json::Value matching(Json::arrayValue);
    for (const auto& object : m_arrays.at(trackables_member)) {
        if (has_string(object, "uid") && object["uid"].asString() == uid) {
            matching.append(object);
        }
    }
    return wrapped(trackables_member, matching);
}

rest_answer rest_resources::answer_status_report(const std::string& body) {
    const auto parsed = ozra::libs::core::json::try_parse(body);
    if (!parsed.ok || !parsed.result.isObject() || !parsed.result[statuses_member].isArray()) {
        return error_answer(400, "expected an object with the array zone_download_status");
    }
    for (const auto& status : parsed.result[statuses_member]) {
        if (!has_string(status, "trackable_uid") || !has_string(status, "download_status")) {
            return error_answer(400, "a status needs trackable_uid and download_status strings");
        }
    }
    std::lock_guard lock(m_mutex);
    for (const auto& status : parsed.result[statuses_member]) {
        store_status(status);
    }
    return ok_answer();
}

void rest_resources::store_status(Json::Value status) {
    status["ts"] = utc_timestamp();
    auto& statuses = m_arrays[statuses_member];
    const std::string uid = status["trackable_uid"].asString();
    for (auto& stored : statuses) {
        if (has_string(stored, "trackable_uid") && stored["trackable_uid"].asString() == uid) {
            stored = std::move(status);
            return;
        }
    }
    statuses.append(std::move(status));
}

rest_answer rest_resources::answer_status_delete(const std::string& trackable_uid) {
    std::lock_guard lock(m_mutex);
    Json::Value kept(Json::arrayValue);
    for (const auto& stored : m_arrays[statuses_member]) {
        if (!has_string(stored, "trackable_uid") || stored["trackable_uid"].asString() != trackable_uid) {
            kept.append(stored);
        }
    }
    m_arrays[statuses_member] = std::move(kept);
    return ok_answer();
}

rest_answer rest_resources::answer_user_msg(const std::string& body) const {
    const auto parsed = ozra::libs::core::json::try_parse(body);
    if (!parsed.ok || !has_string(parsed.result, "uid") || !has_string(parsed.result["data"], "hex")) {
        return error_answer(400, "expected uid and data.hex strings");
    }
    return ok_answer();
}

}  // namespace varnok::test_tools
