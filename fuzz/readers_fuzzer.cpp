// Text readers, each input read by all of them:
// - the configuration readers: the daemon's, and the library's tree walked completely and looked up by path;
// - the hex, MAC and quoting helpers, checked against properties of their results;
// - the server readers: the input holds the four GET bodies (zone types, zones, trackable objects, stored
//   statuses) separated by lines "--"; the records read are carried through to zone descriptors, each
//   device's table, its CRCs and the frames that announce them.
#include <sstream>

#include <boost/algorithm/string/case_conv.hpp>

#include "config.h"
#include "config_parser/config.h"
#include "fake_server/fake_location_server.h"
#include "globals.h"
#include "harness/frame_check.h"
#include "manager.h"
#include "server.h"

namespace {

namespace cfg = ozra::libs::config;
namespace paths = varnok::test_tools::rest_paths;
using varnok::fuzz::quietly;

void require(bool condition, const char* property, const std::string& text) {
    varnok::fuzz::require_no_defect(condition ? std::string() : property, text);
}

void walk(const cfg::value& value);

void walk(const cfg::dictionary& dictionary) {
    for (const std::string& key : dictionary.get_keys()) {
        const auto member = dictionary.get_value(key);
        require(member.has_value(), "a listed key is found", key);
        walk(*member);
    }
}

void walk(const cfg::value& value) {
    value.as_bool(), value.as_double(), value.as_string();
    quietly([&] { value.as_int(); });
    if (const auto object = value.as_object()) {
        walk(*object);
    }
    if (const auto array = value.as_array()) {
        for (const cfg::value& element : *array) {
            walk(element);
        }
    }
}

void read_config(const std::string& text) {
    quietly([&] {
        std::istringstream stream(text);
        const ozra::config settings(stream);
    });
    quietly([&] {
        std::istringstream stream(text);
        const auto document = cfg::config::create<cfg::type::json>(stream);
        walk(document->get_root());
        const auto combined = document->get_by_path<std::string>({"system", "pidfile"}) +
                              document->get_by_path<bool>({"system", "local_debug"}) +
                              document->get_by_path<int>({"server", "port"}) +
                              document->get_by_path<int>({"a", "b", "c"}) +
                              document->get_by_path<bool>({"debug"});
        require(combined.ok() == combined.reason().empty(), "a result holds a value or a reason", text);
    });
}

// Decoded hex text encodes back to itself, a MAC address keeps its digits, quoting can be undone.
void read_hex(const std::string& text) {
    const std::string upper = boost::algorithm::to_upper_copy(text);
    quietly([&] {
        std::string encoded;
        for (const uint8_t byte : ozra::ParseHexString(text)) {
            encoded += ozra::HexNumber(byte, 2);
        }
        require(encoded == upper, "hex text round trip", text);
    });
    quietly([&] { ozra::ParseHex(text.empty() ? '0' : text[0]); });

    std::string mac = text;
    const bool accepted = ozra::combMac(mac);
    require(accepted == (text.size() == 12 || text.size() == 16), "MAC length rule", text);
    require(mac == (!accepted           ? text
                    : text.size() == 12 ? upper.substr(0, 6) + "FFFE" + upper.substr(6)
                                        : upper),
            "MAC form", text);

    const std::string quoted = ozra::Quoted(text, '"', '\\');
    require(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"', "quotes", text);
    std::string unquoted;
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '\\') {
            ++i;
        } else {
            require(quoted[i] != '"', "unescaped quote", text);
        }
        unquoted += quoted[i];
    }
    require(unquoted == text, "quoting round trip", text);
}

// A descriptor is uppercase digit pairs and ends with the zone's points, 8 digits per coordinate.
void check_descriptor(const ozra::CZone& zone, const std::string& descriptor) {
    std::string points;
    for (const ozra::CPoint& point : zone.mPoints) {
        points += ozra::HexNumber(static_cast<uint32_t>(point.mX), 8) +
                  ozra::HexNumber(static_cast<uint32_t>(point.mY), 8);
    }
    require(descriptor.size() % 2 == 0 && descriptor.size() >= 20 + points.size() &&
                descriptor.find_first_not_of("0123456789ABCDEF") == std::string::npos &&
                descriptor.compare(descriptor.size() - points.size(), points.size(), points) == 0,
            "descriptor is uppercase digit pairs ending with the points", descriptor);
}

void read_server(std::string_view text) {
    static ozra::libs::core::logger logger("varnok-fuzz", "main");
    static const std::set<std::string> configured{"alarm", "boundary_in", "boundary_out"};
    static const auto fake = varnok::test_tools::make_fake_location_server();
    fake->set_request_observer([](const varnok::test_tools::recorded_request& request) {
        if (request.path == paths::user_msg) {
            varnok::fuzz::require_no_defect(varnok::fuzz::user_message_defect(request.body), request.body);
        }
    });
    fake->clear_requests();
    fake->clear_raw_bodies();
    std::string objects_body;
    for (const char* path :
         {paths::zone_types, paths::zones, paths::track_obj, paths::zone_download_status}) {
        const std::size_t end = text.find("\n--\n");
        fake->set_raw_body(path, std::string(text.substr(0, end)));
        objects_body = path == paths::track_obj ? std::string(text.substr(0, end)) : objects_body;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 4);
    }
    ozra::CServer server("http", "127.0.0.1", fake->port(), logger);
    std::map<std::string, uint16_t> types;
    std::map<std::string, ozra::CZone> zones;
    std::map<std::string, ozra::CTrackableObject> objects;
    std::set<std::string> unassociated;
    quietly([&] { server.GetZoneTypes(configured, types); });
    quietly([&] { server.GetZones(types, zones); });
    quietly([&] { server.GetTrObjects(objects, unassociated); });
    quietly([&] { server.GetZonesDownloadStatuses(); });
    const ozra::manager rules;
    for (auto& [uid, object] : objects) {
        ozra::CTrackableObject single(logger);
        fake->set_raw_body(paths::track_obj + uid, objects_body);
        quietly([&, &uid = uid] { server.GetTrObject(uid, single); });
        for (const auto& [zone_uid, zone] : zones) {
            // The controller leaves zones that cannot be encoded out of every table.
            if (!zone.CanBeEncoded()) {
                continue;
            }
            const std::string descriptor =
                zone.GetZoneDescriptor(types["boundary_in"], types["boundary_out"]);
            check_descriptor(zone, descriptor);
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    read_config(text);
    read_hex(text);
    read_server(text);
    return 0;
}
