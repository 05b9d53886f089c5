#include "simulator/simulated_site.h"

#include "simulator/device_frame.h"
#include "simulator/notifications.h"
#include "simulator/server_resources.h"
#include "simulator/zone_descriptor.h"

#include <core/json.h>

#include <json/writer.h>

#include <algorithm>

namespace varnok::test_tools {

namespace {

std::string compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

bool is_boundary_type(const std::string& type, const std::vector<std::string>& configured) {
    return (type == "boundary_in" || type == "boundary_out") &&
           std::find(configured.begin(), configured.end(), type) != configured.end();
}

bool needs_update(const tag_view& view) {
    return (view.status == "OUTDATED" || view.status == "OOSYNC") && view.reason != "not associated";
}

}  // namespace

bool expectation_met(const tag_view& tag) {
    return tag.expected && tag.status == tag.expected->status &&
           (!tag.expected->reason || tag.reason == *tag.expected->reason);
}

simulated_site::simulated_site(const scenario& s)
    : m_auto_update(s.auto_update), m_zones(s.zones), m_server(make_fake_location_server()) {
    for (const auto& tag : s.tags) {
        auto& state = m_tags.emplace(tag.uid, tag_state{tag_zone_manager(tag.faults), {}, {}}).first->second;
        state.view.uid = tag.uid;
        state.view.expected = tag.expected;
    }
    hold_initial_zones(s);
    m_server->set_zone_types(zone_types_json(s.zone_types));
    m_server->set_zones(zones_json(m_zones));
    m_server->set_trackable_objects(trackable_objects_json(s.tags));
    m_server->set_download_statuses(stored_statuses_json(s.tags));
    m_server->set_request_observer([this](const recorded_request& request) { on_request(request); });
}

simulated_site::~simulated_site() {
    m_server->set_request_observer(nullptr);
}

void simulated_site::hold_initial_zones(const scenario& s) {
    for (const auto& tag : s.tags) {
        for (const auto& uid : tag.holds_zones) {
            const auto zone = std::find_if(m_zones.begin(), m_zones.end(),
                                           [&](const zone_spec& candidate) { return candidate.uid == uid; });
            const auto type = std::find_if(s.zone_types.begin(), s.zone_types.end(),
                                           [&](const zone_type_spec& t) { return t.name == zone->type; });
            m_tags.at(tag.uid).manager.hold_zone(
                zone_descriptor(*zone, type->id, is_boundary_type(zone->type, s.configured_zone_types)));
        }
    }
}

void simulated_site::apply(const scenario_event& event) {
    std::lock_guard lock(m_mutex);
    const auto same_uid = [&](const std::string& uid) {
        return [&uid](const zone_spec& zone) { return zone.uid == uid; };
    };
    switch (event.kind) {
        case event_kind::change_zone:
            std::replace_if(m_zones.begin(), m_zones.end(), same_uid(event.zone.uid), event.zone);
            m_server->set_zones(zones_json(m_zones));
            publish_zone_change("updated", event.zone.uid);
            break;
        case event_kind::add_zone:
            m_zones.push_back(event.zone);
            m_server->set_zones(zones_json(m_zones));
            publish_zone_change("created", event.zone.uid);
            break;
        case event_kind::delete_zone:
            m_zones.erase(std::remove_if(m_zones.begin(), m_zones.end(), same_uid(event.zone_uid)),
                          m_zones.end());
            m_server->set_zones(zones_json(m_zones));
            publish_zone_change("deleted", event.zone_uid);
            break;
        case event_kind::notify:
            m_proxy.publish("notify", compact(event.notification));
            break;
        case event_kind::update:
            publish_download_request("UPDATE", event.tag_uids);
            break;
        case event_kind::verify:
            publish_download_request("VERIFY", event.tag_uids);
            break;
        case event_kind::crc_report:
            for (const auto& uid : event.tag_uids) {
                publish_reply(uid, m_tags.at(uid).manager.crc_report());
            }
            break;
    }
}

bool simulated_site::daemon_ready() const {
    std::lock_guard lock(m_mutex);
    return m_zone_reads >= 2 || m_posted;
}

std::vector<tag_view> simulated_site::tags() const {
    std::lock_guard lock(m_mutex);
    std::vector<tag_view> views;
    for (const auto& [uid, state] : m_tags) {
        auto view = state.view;
        view.zone_ids = state.manager.zone_ids();
        view.crc = state.manager.crc();
        view.counters = state.manager.counters();
        views.push_back(std::move(view));
    }
    return views;
}

std::size_t simulated_site::frames_to_unknown_tags() const {
    std::lock_guard lock(m_mutex);
    return m_unknown_frames;
}

void simulated_site::on_request(const recorded_request& request) {
    if (request.answered_status != 200) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (request.method == "GET" && request.path == rest_paths::zones) {
        ++m_zone_reads;
        return;
    }
    if (request.method != "POST") {
        return;
    }
    m_posted = true;
    const auto body = ozra::libs::core::json::try_parse(request.body);
    if (request.path == rest_paths::user_msg) {
        on_user_msg(body.result);
    } else if (request.path == rest_paths::zone_download_status) {
        on_status_report(body.result);
    }
}

void simulated_site::on_user_msg(const Json::Value& body) {
    const auto tag = m_tags.find(body["uid"].asString());
    if (tag == m_tags.end()) {
        ++m_unknown_frames;
        return;
    }
    publish_reply(tag->first, tag->second.manager.receive(body["data"]["hex"].asString()));
}

void simulated_site::on_status_report(const Json::Value& body) {
    std::set<std::string> reported;
    for (const auto& status : body["zone_download_status"]) {
        auto tag = m_tags.find(status["trackable_uid"].asString());
        if (tag == m_tags.end()) {
            tag = m_tags.emplace(status["trackable_uid"].asString(), tag_state{tag_zone_manager(), {}, {}})
                      .first;
            tag->second.view.uid = tag->first;
        }
        auto& view = tag->second.view;
        view.status = status["download_status"].asString();
        view.reason = status.isMember("reason") ? status["reason"].asString() : "";
        ++view.reports;
        reported.insert(tag->first);
    }
    std::vector<std::string> to_update;
    for (const auto& uid : reported) {
        auto& state = m_tags.at(uid);
        if (state.view.status == "UPDATED") {
            state.auto_updated.clear();
        } else if (m_auto_update && needs_update(state.view) &&
                   state.auto_updated.emplace(state.view.status, state.view.reason).second) {
            to_update.push_back(uid);
        }
    }
    if (!to_update.empty()) {
        publish_download_request("UPDATE", to_update);
    }
}

void simulated_site::publish_download_request(const std::string& action,
                                              const std::vector<std::string>& uids) {
    m_proxy.publish("notify", download_request_notification(action, uids));
}

void simulated_site::publish_zone_change(const std::string& action, const std::string& uid) {
    Json::Value notification;
    notification["object"] = "ZONE";
    notification["action"] = action;
    notification["plist"]["uid"] = uid;
    m_proxy.publish("notify", compact(notification));
}

void simulated_site::publish_reply(const std::string& uid, const std::optional<std::string>& hex) {
    if (!hex) {
        return;
    }
    Json::Value reply;
    reply["dev_id"] = uid;
    reply["hex"] = *hex;
    m_proxy.publish("user_msg", compact(reply));
}

}  // namespace varnok::test_tools
