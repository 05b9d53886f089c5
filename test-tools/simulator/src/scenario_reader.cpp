#include "simulator/scenario_reader.h"

#include "simulator/json_node.h"

#include <core/json.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace varnok::test_tools {

namespace {

constexpr const char* default_project_uid = "project-1";
const std::set<std::string> status_names = {"OUTDATED", "IN_PROCESS", "UPDATED", "OOSYNC"};

bool is_mac(const std::string& text) {
    return (text.size() == 12 || text.size() == 16) &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

std::string status_name(const json_node& node) {
    auto name = node.text();
    if (status_names.count(name) == 0) {
        node.fail("expected OUTDATED, IN_PROCESS, UPDATED or OOSYNC");
    }
    return name;
}

class scenario_reader {
public:
    explicit scenario_reader(const json_node& root) : m_root(root) {}

    scenario read() {
        m_root.expect_object({"name", "duration_s", "startup_timeout_s", "refresh_s", "settle_s",
                              "auto_update", "project_uid", "zone_types", "configured_zone_types", "zones",
                              "tags", "events"});
        m_result.name = m_root.text_or("name", "scenario");
        m_result.duration_s = m_root.seconds_or("duration_s", m_result.duration_s);
        m_result.startup_timeout_s = m_root.seconds_or("startup_timeout_s", m_result.startup_timeout_s);
        m_result.refresh_s = m_root.seconds_or("refresh_s", m_result.refresh_s);
        m_result.settle_s = m_root.seconds_or("settle_s", m_result.settle_s);
        m_result.auto_update = m_root.flag_or("auto_update", false);
        m_project_uid = m_root.text_or("project_uid", default_project_uid);
        read_zone_types();
        read_zones();
        read_tags();
        if (m_root.has("events")) {
            read_events();
        }
        return std::move(m_result);
    }

private:
    void read_zone_types() {
        for (const auto& node : m_root.member("zone_types").elements()) {
            node.expect_object({"name", "id"});
            zone_type_spec type{node.member("name").text(),
                                static_cast<std::uint16_t>(node.member("id").integer(1, 255))};
            if (!m_type_names.insert(type.name).second) {
                node.member("name").fail("zone type " + type.name + " given twice");
            }
            m_result.zone_types.push_back(type);
        }
        if (m_root.has("configured_zone_types")) {
            m_result.configured_zone_types = m_root.member("configured_zone_types").texts();
        } else {
            m_result.configured_zone_types.assign(m_type_names.begin(), m_type_names.end());
        }
    }

    void read_zones() {
        for (const auto& node : m_root.member("zones").elements()) {
            auto zone = read_zone(node);
            if (m_zone_json.count(zone.uid) != 0) {
                node.member("uid").fail("zone " + zone.uid + " given twice");
            }
            m_zone_json.emplace(zone.uid, node.value());
            m_result.zones.push_back(std::move(zone));
        }
    }

    zone_spec read_zone(const json_node& node) const {
        node.expect_object({"uid", "zone_id", "name", "type", "project_uid", "sublocation_id", "coupled",
                            "default_allowed", "active", "exceptions", "exception_groups", "points"});
        zone_spec zone;
        zone.uid = node.member("uid").text();
        zone.zone_id = static_cast<std::uint16_t>(node.member("zone_id").integer(0, 0xFFFF));
        zone.name = node.text_or("name", zone.uid);
        const auto type = node.member("type");
        zone.type = type.text();
        if (m_type_names.count(zone.type) == 0) {
            type.fail("no zone type named " + zone.type);
        }
        zone.project_uid = node.text_or("project_uid", m_project_uid);
        zone.sublocation_id = static_cast<std::uint16_t>(node.integer_or("sublocation_id", 0, 0xFFFF, 1));
        zone.coupled = static_cast<std::uint16_t>(node.integer_or("coupled", 0, 0xFFFF, 0));
        zone.default_allowed = node.flag_or("default_allowed", false);
        zone.active = node.flag_or("active", true);
        zone.exceptions = node.texts_or_empty("exceptions");
        zone.exception_groups = node.texts_or_empty("exception_groups");
        const auto points = node.member("points");
        const auto elements = points.elements();
        if (elements.size() < 3 || elements.size() > 255) {
            points.fail("expected 3 to 255 points");
        }
        for (const auto& point : elements) {
            const auto coordinates = point.elements();
            if (coordinates.size() != 2) {
                point.fail("expected a point [x, y]");
            }
            zone.points.emplace_back(static_cast<std::int32_t>(coordinates[0].integer(INT32_MIN, INT32_MAX)),
                                     static_cast<std::int32_t>(coordinates[1].integer(INT32_MIN, INT32_MAX)));
        }
        return zone;
    }

    void read_tags() {
        std::set<std::string> uids;
        for (const auto& node : m_root.member("tags").elements()) {
            auto tag = read_tag(node, m_result.tags.size());
            if (!uids.insert(tag.uid).second) {
                node.member("uid").fail("tag " + tag.uid + " given twice");
            }
            m_result.tags.push_back(std::move(tag));
        }
        m_tag_uids = uids;
    }

    tag_spec read_tag(const json_node& node, std::size_t index) const {
        node.expect_object({"uid", "project_uid", "mac", "groups", "associated", "stored_status",
                            "stored_reason", "holds_zones", "faults", "expected"});
        tag_spec tag;
        tag.uid = node.member("uid").text();
        tag.project_uid = node.text_or("project_uid", m_project_uid);
        char mac[13];
        std::snprintf(mac, sizeof mac, "02000000%04X", static_cast<unsigned>(index + 1) & 0xFFFF);
        tag.mac = node.text_or("mac", mac);
        if (!is_mac(tag.mac)) {
            node.member("mac").fail("expected 12 or 16 hexadecimal digits");
        }
        tag.groups = node.texts_or_empty("groups");
        tag.associated = node.flag_or("associated", true);
        if (!node.has("stored_status")) {
            tag.stored_status = "UPDATED";
        } else if (!node.value()["stored_status"].isNull()) {
            tag.stored_status = status_name(node.member("stored_status"));
        }
        tag.stored_reason = node.text_or("stored_reason", "");
        if (node.has("holds_zones")) {
            tag.holds_zones = held_zones(node.member("holds_zones"));
        }
        if (node.has("faults")) {
            tag.faults = read_faults(node.member("faults"));
        }
        if (node.has("expected")) {
            tag.expected = read_expectation(node.member("expected"));
        }
        return tag;
    }

    std::vector<std::string> held_zones(const json_node& node) const {
        if (node.value().isString() && node.value().asString() == "all") {
            std::vector<std::string> all;
            for (const auto& zone : m_result.zones) {
                all.push_back(zone.uid);
            }
            return all;
        }
        const auto uids = node.texts();
        for (const auto& uid : uids) {
            if (m_zone_json.count(uid) == 0) {
                node.fail("no zone with the uid " + uid);
            }
        }
        return uids;
    }

    static tag_faults read_faults(const json_node& node) {
        node.expect_object({"silent", "rejects_downloads", "lowercase_hex", "failing_zones"});
        tag_faults faults;
        faults.silent = node.flag_or("silent", false);
        faults.rejects_downloads = node.flag_or("rejects_downloads", false);
        faults.lowercase_hex = node.flag_or("lowercase_hex", false);
        if (node.has("failing_zones")) {
            for (const auto& failing : node.member("failing_zones").elements()) {
                failing.expect_object({"zone_id", "error_code"});
                faults
                    .failing_zones[static_cast<std::uint16_t>(failing.member("zone_id").integer(0, 0xFFFF))] =
                    static_cast<std::uint8_t>(failing.member("error_code").integer(1, 255));
            }
        }
        return faults;
    }

    static tag_expectation read_expectation(const json_node& node) {
        if (node.value().isString()) {
            return {status_name(node), std::nullopt};
        }
        node.expect_object({"status", "reason"});
        tag_expectation expected{status_name(node.member("status")), std::nullopt};
        if (node.has("reason")) {
            expected.reason = node.member("reason").text();
        }
        return expected;
    }

    void read_events() {
        auto nodes = m_root.member("events").elements();
        for (const auto& node : nodes) {
            node.member("at_s").seconds();
        }
        std::stable_sort(nodes.begin(), nodes.end(), [](const json_node& a, const json_node& b) {
            return a.value()["at_s"].asDouble() < b.value()["at_s"].asDouble();
        });
        for (const auto& node : nodes) {
            m_result.events.push_back(read_event(node));
        }
    }

    scenario_event read_event(const json_node& node) {
        node.expect_object(
            {"at_s", "change_zone", "add_zone", "delete_zone", "notify", "update", "verify", "crc_report"});
        scenario_event event;
        event.at_s = node.member("at_s").seconds();
        const auto members = node.value().getMemberNames();
        if (members.size() != 2) {
            node.fail("expected at_s and one action");
        }
        const std::string action = members[0] == "at_s" ? members[1] : members[0];
        const auto body = node.member(action.c_str());
        if (action == "change_zone") {
            event.kind = event_kind::change_zone;
            event.zone = changed_zone(body);
        } else if (action == "add_zone") {
            event.kind = event_kind::add_zone;
            event.zone = read_zone(body);
            if (!m_zone_json.emplace(event.zone.uid, body.value()).second) {
                body.member("uid").fail("zone " + event.zone.uid + " exists already");
            }
        } else if (action == "delete_zone") {
            event.kind = event_kind::delete_zone;
            event.zone_uid = body.text();
            if (m_zone_json.erase(event.zone_uid) == 0) {
                body.fail("no zone with the uid " + event.zone_uid);
            }
        } else if (action == "notify") {
            event.kind = event_kind::notify;
            if (!body.value().isObject()) {
                body.fail("expected an object");
            }
            event.notification = body.value();
        } else {
            event.kind = action == "update"   ? event_kind::update
                         : action == "verify" ? event_kind::verify
                                              : event_kind::crc_report;
            event.tag_uids = tag_list(body);
        }
        return event;
    }

    zone_spec changed_zone(const json_node& body) {
        const auto uid = body.member("uid").text();
        const auto base = m_zone_json.find(uid);
        if (base == m_zone_json.end()) {
            body.member("uid").fail("no zone with the uid " + uid);
        }
        body.expect_object({"uid", "zone_id", "name", "type", "project_uid", "sublocation_id", "coupled",
                            "default_allowed", "active", "exceptions", "exception_groups", "points"});
        Json::Value merged = base->second;
        for (const auto& name : body.value().getMemberNames()) {
            merged[name] = body.value()[name];
        }
        base->second = merged;
        return read_zone(body.with_value(base->second));
    }

    std::vector<std::string> tag_list(const json_node& body) const {
        if (body.value().isString() && body.value().asString() == "all") {
            return {m_tag_uids.begin(), m_tag_uids.end()};
        }
        const auto uids = body.texts();
        for (const auto& uid : uids) {
            if (m_tag_uids.count(uid) == 0) {
                body.fail("no tag with the uid " + uid);
            }
        }
        return uids;
    }

    const json_node& m_root;
    scenario m_result;
    std::string m_project_uid;
    std::set<std::string> m_type_names;
    std::map<std::string, Json::Value> m_zone_json;  // uid -> the zone's members as they stand
    std::set<std::string> m_tag_uids;
};

}  // namespace

scenario parse_scenario(const std::string& text, const std::string& source) {
    const auto parsed = ozra::libs::core::json::try_parse(text);
    if (!parsed.ok) {
        throw scenario_error(source + ": not JSON: " + parsed.error);
    }
    return scenario_reader(json_node(parsed.result, source)).read();
}

scenario read_scenario_file(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        throw scenario_error(path + ": cannot be read");
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parse_scenario(text.str(), path);
}

}  // namespace varnok::test_tools
