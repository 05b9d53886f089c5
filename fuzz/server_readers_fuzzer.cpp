// Server JSON readers: the input holds the four GET bodies (zone types, zones, trackable objects, stored
// statuses), separated by lines "--". The records read are carried through to zone descriptors, each
// device's zone table, its CRCs and the frames that announce them.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/logger.h"
#include "fake_server/fake_location_server.h"
#include "globals.h"
#include "harness/frame_check.h"
#include "harness/in_process_curl.h"
#include "manager.h"
#include "server.h"

namespace {

using varnok::fuzz::http_answer;
namespace paths = varnok::test_tools::rest_paths;

// The four bodies in order; missing ones are empty.
std::vector<std::string> split_bodies(std::string_view text) {
    std::vector<std::string> bodies(4);
    for (std::string& body : bodies) {
        const std::size_t end = text.find("\n--\n");
        body = std::string(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 4);
    }
    return bodies;
}

http_answer serve(const std::vector<std::string>& bodies, const std::string& method, const std::string& path,
                  const std::string& body) {
    if (method == "POST" && path == paths::user_msg) {
        varnok::fuzz::require_no_defect(varnok::fuzz::user_message_defect(body), body);
        return {200, "{}"};
    }
    if (method != "GET") {
        return {200, "{}"};
    }
    const std::string track_obj = paths::track_obj;
    const std::size_t index = path == paths::zone_types                           ? 0
                              : path == paths::zones                              ? 1
                              : path.compare(0, track_obj.size(), track_obj) == 0 ? 2
                              : path == paths::zone_download_status               ? 3
                                                                                  : bodies.size();
    return index < bodies.size() ? http_answer{200, bodies[index]} : http_answer{404, "{}"};
}

// A descriptor is uppercase digit pairs and ends with the zone's points, 8 digits per coordinate.
std::string descriptor_defect(const ozra::CZone& zone, const std::string& descriptor) {
    const std::size_t points_digits = 16 * zone.mPoints.size();
    if (descriptor.size() % 2 != 0 || descriptor.size() < 20 + points_digits) {
        return "descriptor length";
    }
    for (const char c : descriptor) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return "descriptor is no uppercase hexadecimal text";
        }
    }
    std::size_t position = descriptor.size() - points_digits;
    for (const ozra::CPoint& point : zone.mPoints) {
        for (const int32_t coordinate : {point.mX, point.mY}) {
            if (descriptor.compare(position, 8, ozra::HexNumber(static_cast<uint32_t>(coordinate), 8)) != 0) {
                return "descriptor point";
            }
            position += 8;
        }
    }
    return {};
}

template <class F>
void ignoring_failure(F&& read) {
    try {
        read();
    } catch (const std::exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("OZRA_LAUNCHED_BY_SYSTEMD", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ozra::libs::core::logger logger("varnok-fuzz", "main");
    static const std::set<std::string> configured{"alarm", "boundary_in", "boundary_out"};
    const auto bodies = split_bodies(std::string_view(reinterpret_cast<const char*>(data), size));
    varnok::fuzz::set_http_handler(
        [&bodies](const std::string& method, const std::string& path, const std::string& body) {
            return serve(bodies, method, path, body);
        });

    ozra::CServer server("http", "127.0.0.1", 0, logger);
    std::map<std::string, uint16_t> types;
    std::map<std::string, ozra::CZone> zones;
    std::map<std::string, ozra::CTrackableObject> objects;
    std::set<std::string> unassociated;
    ignoring_failure([&] { server.GetZoneTypes(configured, types); });
    ignoring_failure([&] { server.GetZones(types, zones); });
    ignoring_failure([&] { server.GetTrObjects(objects, unassociated); });
    ignoring_failure([&] { server.GetZonesDownloadStatuses(); });
    for (const auto& [uid, object] : objects) {
        ozra::CTrackableObject single(logger);
        ignoring_failure([&, &uid = uid] { server.GetTrObject(uid, single); });
    }

    const uint16_t boundary_in = types.count("boundary_in") != 0 ? types.at("boundary_in") : 0;
    const uint16_t boundary_out = types.count("boundary_out") != 0 ? types.at("boundary_out") : 0;
    const ozra::manager rules;
    for (auto& [uid, object] : objects) {
        for (const auto& [zone_uid, zone] : zones) {
            // The controller leaves zones that cannot be encoded out of every table.
            if (!zone.CanBeEncoded()) {
                continue;
            }
            const std::string descriptor = zone.GetZoneDescriptor(boundary_in, boundary_out);
            varnok::fuzz::require_no_defect(descriptor_defect(zone, descriptor), descriptor);
            if (rules.tr_object_works_with_zone(zone, object)) {
                object.mZones.insert(
                    ozra::CZoneForDevice(ozra::MakeDescriptor(zone_uid, zone.mZoneID, descriptor)));
            }
        }
        object.Verify(server);
        object.DownloadingZones(server);
        object.ZoneDownloadCompleted(server);
    }
    server.WaitForAsyncOperations();
    varnok::fuzz::set_http_handler(nullptr);
    return 0;
}
