#include "site_picture.h"

#include <string>

namespace varnok::fuzz {

namespace {

Json::Value zone_type(const char* name, unsigned id) {
    Json::Value type;
    type["name"] = name;
    type["id"] = id;
    return type;
}

Json::Value zone(const std::string& uid, unsigned zone_id, const char* type, int corners) {
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
    Json::Value& positions = zone["zone_geometry"]["positions"];
    for (int corner = 0; corner < corners; ++corner) {
        Json::Value point;
        point["x"] = corner * 10 - 15;
        point["y"] = corner % 2 == 0 ? -static_cast<int>(zone_id) : static_cast<int>(zone_id) * 100;
        positions.append(point);
    }
    zone["sublocation_id"] = 1;
    zone["zone_id"] = zone_id;
    return zone;
}

Json::Value coupled(Json::Value zone, unsigned coupled_id) {
    zone["user_params"]["coupled"] = coupled_id;
    return zone;
}

Json::Value barred_to(Json::Value zone, const char* uid) {
    zone["default_allowed"] = true;
    zone["zone_exceptions"].append(uid);
    return zone;
}

Json::Value trackable(const char* uid, const char* mac) {
    Json::Value object;
    object["uid"] = uid;
    object["node"]["project_uid"] = "p1";
    object["node"]["mac_address"] = mac;
    object["node"]["groups"].append("g1");
    return object;
}

Json::Value unassociated(const char* uid) {
    Json::Value object;
    object["uid"] = uid;
    object["project_uid"] = "p1";
    return object;
}

Json::Value status(const char* uid, const char* name) {
    Json::Value element;
    element["trackable_uid"] = uid;
    element["download_status"] = name;
    element["ts"] = "2026-12-01T10:00:00.000Z";
    return element;
}

site_picture make_picture() {
    site_picture picture;
    picture.zone_types.append(zone_type("alarm", 1));
    picture.zone_types.append(zone_type("boundary_in", 2));
    picture.zone_types.append(zone_type("boundary_out", 3));
    for (unsigned id = 1; id <= 10; ++id) {
        picture.zones.append(zone("z" + std::to_string(id + 10), id, "alarm", 3));
    }
    picture.zones.append(coupled(zone("z21", 11, "boundary_in", 4), 12));
    picture.zones.append(coupled(zone("z22", 12, "Boundary_Out", 4), 11));
    picture.zones.append(zone("z23", 13, "alarm", 40));
    picture.zones.append(barred_to(zone("z24", 14, "alarm", 3), "t2"));
    picture.trackable_objects.append(trackable("t1", "a1b2c3d4e5f6"));
    picture.trackable_objects.append(trackable("t2", "0011223344556677"));
    picture.trackable_objects.append(trackable("t3", "001122334455"));
    picture.trackable_objects.append(unassociated("u1"));
    picture.download_statuses.append(status("t1", "OUTDATED"));
    picture.download_statuses.append(status("t2", "OOSYNC"));
    picture.download_statuses.append(status("u1", "OOSYNC"));
    return picture;
}

}  // namespace

const site_picture& default_picture() {
    static const site_picture picture = make_picture();
    return picture;
}

}  // namespace varnok::fuzz
