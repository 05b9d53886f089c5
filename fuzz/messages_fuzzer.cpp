// The controller's incoming messages, one per line: "N <json>" a server notification followed by a
// processing run, "U <json>" or any other line a device reply, "P" a processing run. Before the first line,
// t1 is asked to update, so that it waits for the answer to a download request.
//
// The server holds, in project p1, ten small alarm zones (IDs 1 to 10, more than one zone batch), a coupled
// boundary pair (IDs 11 and 12), a zone of 40 points whose descriptor is too large to send (ID 13) and a
// zone that only t2 must avoid (ID 14, held by t2's device alone); trackable objects t1, t2, t3 and the
// unassociated u1; stored statuses for t1, t2 and u1, so that t1 and t2 are managed from the start and t3
// only once it answers.
#include <algorithm>

#include "harness/controller_site.h"

namespace {

// A zone of the given number of corners, its shape set by its ID.
Json::Value zone(const std::string& uid, int zone_id, const char* type, int corners) {
    std::vector<std::pair<int, int>> points;
    for (int corner = 0; corner < corners; ++corner) {
        points.emplace_back(corner * 10 - 15, corner % 2 == 0 ? -zone_id : zone_id * 100);
    }
    return varnok::fuzz::zone_json(uid, zone_id, type, points);
}

void serve_site(varnok::test_tools::fake_location_server& server) {
    Json::Value zones(Json::arrayValue);
    for (int id = 1; id <= 10; ++id) {
        zones.append(zone("z" + std::to_string(id + 10), id, "alarm", 3));
    }
    zones.append(zone("z21", 11, "boundary_in", 4))["user_params"]["coupled"] = 12;
    zones.append(zone("z22", 12, "Boundary_Out", 4))["user_params"]["coupled"] = 11;
    zones.append(zone("z23", 13, "alarm", 40));
    Json::Value& barred = zones.append(zone("z24", 14, "alarm", 3));
    barred["default_allowed"] = true;
    barred["zone_exceptions"].append("t2");
    Json::Value tags(Json::arrayValue), statuses(Json::arrayValue);
    for (const auto& [uid, mac] : {std::pair{"t1", "a1b2c3d4e5f6"}, std::pair{"t2", "0011223344556677"},
                                   std::pair{"t3", "001122334455"}, std::pair{"u1", ""}}) {
        tags.append(varnok::fuzz::tag_json(uid, mac));
    }
    for (const auto& [uid, name] :
         {std::pair{"t1", "OUTDATED"}, std::pair{"t2", "OOSYNC"}, std::pair{"u1", "OOSYNC"}}) {
        statuses.append(varnok::fuzz::status_json(uid, name));
    }
    server.set_zones(zones);
    server.set_trackable_objects(tags);
    server.set_download_statuses(statuses);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static varnok::fuzz::controller_site site;
    site.server().clear_requests();
    serve_site(site.server());  // undoes what the last input's controller reported
    {
        const auto controller = site.new_controller();
        site.notify(*controller, R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE",)"
                                 R"("plist":{"zone_download_request":[{"trackable_uid":"t1"}]}})");
        for (std::string_view lines(reinterpret_cast<const char*>(data), size); !lines.empty();) {
            const std::string line(lines.substr(0, lines.find('\n')));
            lines.remove_prefix(std::min(lines.size(), line.size() + 1));
            if (line.rfind("N ", 0) == 0) {
                site.notify(*controller, line.substr(2));
            } else if (line != "P") {
                site.user_msg(*controller, line.rfind("U ", 0) == 0 ? line.substr(2) : line);
                continue;
            }
            site.process(*controller);
        }
        site.process(*controller);
    }
    site.run_ready_handlers();
    return 0;
}
