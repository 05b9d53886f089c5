#pragma once

#include <json/value.h>

#include <string>
#include <utility>
#include <vector>

namespace varnok::fuzz {

// The location server's data for the controller targets, as the JSON arrays of its four resources.
// Project "p1"; zone types alarm (1), boundary_in (2) and boundary_out (3); ten small alarm zones (IDs
// 1 to 10, more than one zone batch), a coupled boundary pair (IDs 11 and 12), a zone of 40 points whose
// descriptor is too large to send (ID 13) and a zone that only t2 must avoid (ID 14, held by t2's device
// alone); trackable objects t1, t2, t3 and the unassociated u1; stored statuses for t1, t2 and u1, so that t1
// and t2 are managed from the start and t3 only once it answers.
struct site_picture {
    Json::Value zone_types;
    Json::Value zones;
    Json::Value trackable_objects;
    Json::Value download_statuses;
};

const site_picture& default_picture();

// Records of the server, in project p1: an active static zone on sublocation 1 without exceptions, a tag
// with a device (in group g1) or without, a stored download status.
Json::Value zone_json(const std::string& uid, unsigned zone_id, const char* type,
                      const std::vector<std::pair<int, int>>& points);
Json::Value tag_json(const std::string& uid, const std::string& mac);
Json::Value status_json(const std::string& uid, const char* name);

}  // namespace varnok::fuzz
