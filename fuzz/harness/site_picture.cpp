#include "site_picture.h"

namespace varnok::fuzz {

Json::Value zone_json(const std::string& uid, unsigned zone_id, const char* type,
                      const std::vector<std::pair<int, int>>& points) {
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
    for (const auto& [x, y] : points) {
        Json::Value& point = zone["zone_geometry"]["positions"].append(Json::objectValue);
        point["x"] = x;
        point["y"] = y;
    }
    zone["sublocation_id"] = 1;
    zone["zone_id"] = zone_id;
    return zone;
}

Json::Value tag_json(const std::string& uid, const std::string& mac) {
    Json::Value object;
    object["uid"] = uid;
    if (mac.empty()) {
        object["project_uid"] = "p1";
        return object;
    }
    object["node"]["project_uid"] = "p1";
    object["node"]["mac_address"] = mac;
    object["node"]["groups"].append("g1");
    return object;
}

Json::Value status_json(const std::string& uid, const char* name) {
    Json::Value element;
    element["trackable_uid"] = uid;
    element["download_status"] = name;
    element["ts"] = "2026-12-01T10:00:00.000Z";
    return element;
}

namespace {

// A zone of the given number of corners, its shape set by its ID.
Json::Value zone(const std::string& uid, unsigned zone_id, const char* type, int corners) {
    std::vector<std::pair<int, int>> points;
    for (int corner = 0; corner < corners; ++corner) {
        const int id = static_cast<int>(zone_id);
        points.emplace_back(corner * 10 - 15, corner % 2 == 0 ? -id : id * 100);
    }
    return zone_json(uid, zone_id, type, points);
}

site_picture make_picture() {
    site_picture picture;
    for (const auto& [name, id] :
         {std::pair{"alarm", 1}, std::pair{"boundary_in", 2}, std::pair{"boundary_out", 3}}) {
        Json::Value& type = picture.zone_types.append(Json::objectValue);
        type["name"] = name;
        type["id"] = id;
    }
    for (unsigned id = 1; id <= 10; ++id) {
        picture.zones.append(zone("z" + std::to_string(id + 10), id, "alarm", 3));
    }
    picture.zones.append(zone("z21", 11, "boundary_in", 4))["user_params"]["coupled"] = 12;
    picture.zones.append(zone("z22", 12, "Boundary_Out", 4))["user_params"]["coupled"] = 11;
    picture.zones.append(zone("z23", 13, "alarm", 40));
    Json::Value& barred = picture.zones.append(zone("z24", 14, "alarm", 3));
    barred["default_allowed"] = true;
    barred["zone_exceptions"].append("t2");
    for (const auto& [uid, mac] : {std::pair{"t1", "a1b2c3d4e5f6"}, std::pair{"t2", "0011223344556677"},
                                   std::pair{"t3", "001122334455"}, std::pair{"u1", ""}}) {
        picture.trackable_objects.append(tag_json(uid, mac));
    }
    for (const auto& [uid, name] :
         {std::pair{"t1", "OUTDATED"}, std::pair{"t2", "OOSYNC"}, std::pair{"u1", "OOSYNC"}}) {
        picture.download_statuses.append(status_json(uid, name));
    }
    return picture;
}

}  // namespace

const site_picture& default_picture() {
    static const site_picture picture = make_picture();
    return picture;
}

}  // namespace varnok::fuzz
