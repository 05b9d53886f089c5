#include "simulator/server_resources.h"

namespace varnok::test_tools {

namespace {

constexpr const char* boundary_types[] = {"boundary_in", "boundary_out"};

Json::Value string_array(const std::vector<std::string>& texts) {
    Json::Value array(Json::arrayValue);
    for (const auto& text : texts) {
        array.append(text);
    }
    return array;
}

bool is_boundary(const std::string& type) {
    for (const char* boundary : boundary_types) {
        if (type == boundary) {
            return true;
        }
    }
    return false;
}

}  // namespace

Json::Value zone_types_json(const std::vector<zone_type_spec>& types) {
    Json::Value array(Json::arrayValue);
    for (const auto& type : types) {
        Json::Value element;
        element["name"] = type.name;
        element["id"] = type.id;
        array.append(element);
    }
    return array;
}

Json::Value zone_json(const zone_spec& zone) {
    Json::Value element;
    element["uid"] = zone.uid;
    element["zone_id"] = zone.zone_id;
    element["name"] = zone.name;
    element["active"] = zone.active;
    element["dynamic"] = false;
    element["project_uid"] = zone.project_uid;
    element["default_allowed"] = zone.default_allowed;
    element["zone_type_name"] = zone.type;
    if (is_boundary(zone.type)) {
        element["user_params"]["coupled"] = zone.coupled;
    }
    element["zone_exceptions"] = string_array(zone.exceptions);
    element["zone_exceptions_groups"] = string_array(zone.exception_groups);
    element["shape"] = "polygon";
    Json::Value positions(Json::arrayValue);
    for (const auto& [x, y] : zone.points) {
        Json::Value point;
        point["x"] = x;
        point["y"] = y;
        positions.append(point);
    }
    element["zone_geometry"]["positions"] = positions;
    element["sublocation_id"] = zone.sublocation_id;
    return element;
}

Json::Value zones_json(const std::vector<zone_spec>& zones) {
    Json::Value array(Json::arrayValue);
    for (const auto& zone : zones) {
        array.append(zone_json(zone));
    }
    return array;
}

Json::Value trackable_objects_json(const std::vector<tag_spec>& tags) {
    Json::Value array(Json::arrayValue);
    for (const auto& tag : tags) {
        Json::Value element;
        element["uid"] = tag.uid;
        element["project_uid"] = tag.project_uid;
        if (tag.associated) {
            element["node"]["project_uid"] = tag.project_uid;
            element["node"]["mac_address"] = tag.mac;
            element["node"]["groups"] = string_array(tag.groups);
        }
        array.append(element);
    }
    return array;
}

Json::Value stored_statuses_json(const std::vector<tag_spec>& tags) {
    Json::Value array(Json::arrayValue);
    for (const auto& tag : tags) {
        if (!tag.stored_status) {
            continue;
        }
        Json::Value element;
        element["trackable_uid"] = tag.uid;
        element["download_status"] = *tag.stored_status;
        element["ts"] = "2026-01-01T00:00:00.000Z";
        if (!tag.stored_reason.empty()) {
            element["reason"] = tag.stored_reason;
        }
        array.append(element);
    }
    return array;
}

}  // namespace varnok::test_tools
