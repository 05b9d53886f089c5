#include "bench_site.h"

#include "simulator/notifications.h"
#include "simulator/server_resources.h"

#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <set>
#include <sstream>

namespace varnok::bench {

namespace paths = test_tools::rest_paths;

namespace {

// The request log is not read: it is emptied every so many requests to bound its memory.
constexpr std::size_t log_kept_requests = 4096;
constexpr const char* crc_request_prefix = "0001000403";

std::string member_text(const std::string& body, const std::string& member) {
    const std::string key = "\"" + member + "\":\"";
    const auto start = body.find(key);
    if (start == std::string::npos) {
        return {};
    }
    const auto begin = start + key.size();
    return body.substr(begin, body.find('"', begin) - begin);
}

std::string compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

template <typename Times>
std::optional<bench_site::clock::time_point> first_after(const Times& times,
                                                         bench_site::clock::time_point since) {
    const auto found = std::lower_bound(times.begin(), times.end(), since);
    return found == times.end() ? std::nullopt : std::optional(*found);
}

}  // namespace

std::string wrapped_body(const char* member, const Json::Value& array) {
    Json::Value body(Json::objectValue);
    body[member] = array;
    return compact(body);
}

bench_site::bench_site(site s)
    : m_site(std::move(s)),
      m_fleet([&] {
          std::vector<std::string> uids;
          for (const auto& tag : m_site.tags) {
              uids.push_back(tag.uid);
          }
          return uids;
      }()),
      m_statuses(m_site.tags.size()),
      m_disconnected(m_site.tags.size()),
      m_server(test_tools::make_fake_location_server()) {
    std::vector<std::vector<std::uint8_t>> descriptors;
    for (const auto& zone : m_site.zones) {
        descriptors.push_back(descriptor_of(m_site, zone));
    }
    for (std::size_t tag = 0; tag < m_site.tags.size(); ++tag) {
        m_tag_index.emplace(m_site.tags[tag].uid, tag);
        for (std::size_t zone = 0; zone < m_site.zones.size(); ++zone) {
            if (zone_concerns_tag(m_site, zone, tag)) {
                m_fleet.hold(tag, descriptors[zone]);
            }
        }
    }
    m_bodies[paths::zone_types] = wrapped_body("zone_types", test_tools::zone_types_json(m_site.zone_types));
    m_bodies[paths::zones] = wrapped_body("zones", test_tools::zones_json(m_site.zones));
    m_bodies[paths::track_obj] =
        wrapped_body("trackableObjects", test_tools::trackable_objects_json(m_site.tags));
    m_bodies[paths::zone_download_status] =
        wrapped_body("zone_download_status", test_tools::stored_statuses_json(m_site.tags));
    for (const auto& [path, text] : m_bodies) {
        m_server->set_raw_body(path, text);
    }
    const test_tools::response_fault accepted{200, false, {}};
    m_server->set_fault(accepted, paths::user_msg, "POST");
    m_server->set_fault(accepted, paths::zone_download_status, "POST");
    m_server->set_request_observer(
        [this](const test_tools::recorded_request& request) { on_request(request); });
}

bench_site::~bench_site() {
    m_server->set_request_observer(nullptr);
}

bench_site::clock::time_point bench_site::change_zone(std::size_t zone) {
    m_site.zones.at(zone) = moved(m_site.zones.at(zone));
    m_bodies[paths::zones] = wrapped_body("zones", test_tools::zones_json(m_site.zones));
    m_server->set_raw_body(paths::zones, m_bodies[paths::zones]);
    Json::Value notification;
    notification["object"] = "ZONE";
    notification["action"] = "updated";
    notification["plist"]["uid"] = m_site.zones[zone].uid;
    const auto at = clock::now();
    m_proxy.publish("notify", compact(notification));
    return at;
}

void bench_site::request_all(const std::string& action, std::optional<std::size_t> except) {
    std::vector<std::string> uids;
    for (std::size_t tag = 0; tag < m_site.tags.size(); ++tag) {
        if (tag != except) {
            uids.push_back(m_site.tags[tag].uid);
        }
    }
    publish_download_request(action, uids);
}

void bench_site::request_update(std::size_t tag) {
    publish_download_request("UPDATE", {m_site.tags.at(tag).uid});
}

std::optional<bench_site::clock::time_point> bench_site::first_crc_request() const {
    std::lock_guard lock(m_mutex);
    return m_first_crc_request;
}

std::optional<std::pair<bench_site::clock::time_point, std::size_t>> bench_site::first_update() const {
    std::lock_guard lock(m_mutex);
    return m_first_update;
}

bench_site::clock::time_point bench_site::last_frame() const {
    return clock::time_point(clock::duration(m_last_frame_ns.load()));
}

std::optional<bench_site::clock::time_point> bench_site::zones_read_after(clock::time_point since) const {
    std::lock_guard lock(m_mutex);
    return first_after(m_zone_reads, since);
}

std::optional<bench_site::clock::time_point> bench_site::status_report_after(clock::time_point since) const {
    std::lock_guard lock(m_mutex);
    return first_after(m_status_reports, since);
}

bench_site::clock::duration bench_site::longest_report_gap(clock::time_point from,
                                                           clock::time_point to) const {
    std::lock_guard lock(m_mutex);
    clock::duration longest{};
    const auto first = std::lower_bound(m_status_reports.begin(), m_status_reports.end(), from);
    for (auto report = first; report != m_status_reports.end() && *report <= to; ++report) {
        if (report != first) {
            longest = std::max(longest, *report - *std::prev(report));
        }
    }
    return longest;
}

std::size_t bench_site::tags_reported(const std::string& status, clock::time_point since) const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_statuses.begin(), m_statuses.end(),
                      [&](const tag_status& tag) { return tag.status == status && tag.at >= since; }));
}

std::size_t bench_site::tags_reported_since(clock::time_point since) const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_statuses.begin(), m_statuses.end(),
                      [&](const tag_status& tag) { return !tag.status.empty() && tag.at >= since; }));
}

std::map<std::string, std::size_t> bench_site::other_statuses(clock::time_point since) const {
    std::lock_guard lock(m_mutex);
    std::map<std::string, std::size_t> counts;
    for (const auto& tag : m_statuses) {
        if (!tag.status.empty() && tag.status != "UPDATED" && tag.at >= since) {
            ++counts[tag.reason.empty() ? tag.status : tag.status + " \"" + tag.reason + "\""];
        }
    }
    return counts;
}

void bench_site::on_request(const test_tools::recorded_request& request) {
    const auto at = clock::now();
    if (++m_requests % log_kept_requests == 0) {
        m_server->clear_requests();
    }
    if (request.method == "POST" && request.path == paths::user_msg) {
        on_user_msg(request.body);
    } else if (request.method == "POST" && request.path == paths::zone_download_status) {
        on_status_report(request.body, at);
    } else if (request.method == "GET" && request.path == paths::zones) {
        std::lock_guard lock(m_mutex);
        m_zone_reads.push_back(at);
    }
}

void bench_site::on_user_msg(const std::string& body) {
    const std::string uid = member_text(body, "uid");
    const std::string hex = member_text(body, "hex");
    if (m_tag_index.count(uid) == 0) {
        return;
    }
    ++m_frames;
    m_last_frame_ns = clock::now().time_since_epoch().count();
    if (hex.compare(0, std::char_traits<char>::length(crc_request_prefix), crc_request_prefix) == 0) {
        std::lock_guard lock(m_mutex);
        if (!m_first_crc_request) {
            m_first_crc_request = clock::now();
        }
    }
    if (const auto reply = m_fleet.receive(uid, hex)) {
        m_proxy.publish("user_msg", "{\"dev_id\":\"" + uid + "\",\"hex\":\"" + *reply + "\"}");
    }
}

void bench_site::on_status_report(const std::string& body, clock::time_point at) {
    Json::CharReaderBuilder builder;
    std::istringstream in(body);
    Json::Value report;
    std::string errors;
    if (!Json::parseFromStream(builder, in, &report, &errors)) {
        return;
    }
    std::vector<std::string> out_of_sync;
    {
        std::lock_guard lock(m_mutex);
        m_status_reports.push_back(at);
        std::set<std::size_t> reported;
        for (const auto& status : report["zone_download_status"]) {
            const auto tag = m_tag_index.find(status["trackable_uid"].asString());
            if (tag != m_tag_index.end()) {
                m_statuses[tag->second] = {status["download_status"].asString(), status["reason"].asString(),
                                           at};
                if (m_statuses[tag->second].reason == "disconnected") {
                    m_disconnected[tag->second] = true;
                }
                reported.insert(tag->second);
            }
        }
        for (const auto tag : reported) {
            if (m_statuses[tag].status == "OOSYNC") {
                out_of_sync.push_back(m_site.tags[tag].uid);
            }
        }
    }
    if (m_update_out_of_sync && !out_of_sync.empty()) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_first_update) {
                m_first_update = {at, m_frames};
            }
        }
        publish_download_request("UPDATE", out_of_sync);
    }
}

std::size_t bench_site::tags_disconnected() const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count(m_disconnected.begin(), m_disconnected.end(), true));
}

void bench_site::publish_download_request(const std::string& action, const std::vector<std::string>& uids) {
    m_proxy.publish("notify", test_tools::download_request_notification(action, uids));
}

}  // namespace varnok::bench
