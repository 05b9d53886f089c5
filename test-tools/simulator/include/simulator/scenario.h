#pragma once

#include "simulator/tag_zone_manager.h"

#include <json/value.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnok::test_tools {

struct zone_type_spec {
    std::string name;
    std::uint16_t id = 0;
};

struct zone_spec {
    std::string uid;
    std::uint16_t zone_id = 0;
    std::string name;
    std::string type;
    std::string project_uid;
    std::uint16_t sublocation_id = 0;
    std::uint16_t coupled = 0;
    bool default_allowed = false;
    bool active = true;
    std::vector<std::string> exceptions;
    std::vector<std::string> exception_groups;
    std::vector<std::pair<std::int32_t, std::int32_t>> points;
};

struct tag_expectation {
    std::string status;
    std::optional<std::string> reason;  // exact reason text; any reason when absent
};

struct tag_spec {
    std::string uid;
    std::string project_uid;
    std::string mac;
    std::vector<std::string> groups;
    bool associated = true;
    std::optional<std::string> stored_status;  // the download status the server holds at start
    std::string stored_reason;
    std::vector<std::string> holds_zones;  // zone uids whose descriptors the tag holds at start
    tag_faults faults;
    std::optional<tag_expectation> expected;
};

enum class event_kind { change_zone, add_zone, delete_zone, notify, update, verify, crc_report };

struct scenario_event {
    double at_s = 0;
    event_kind kind = event_kind::notify;
    zone_spec zone;                     // change_zone, add_zone: the zone as it becomes
    std::string zone_uid;               // delete_zone
    Json::Value notification;           // notify: published as it is
    std::vector<std::string> tag_uids;  // update, verify, crc_report
};

struct scenario {
    std::string name;
    double duration_s = 60;         // run time after the daemon is ready
    double startup_timeout_s = 30;  // longest wait for the daemon to become ready
    double refresh_s = 5;           // period of the live table
    double settle_s = 5;            // quiet time after the last event before an early stop
    bool auto_update = false;       // request an update for tags reported OUTDATED or OOSYNC
    std::vector<zone_type_spec> zone_types;
    std::vector<std::string> configured_zone_types;  // the daemon's zone_types
    std::vector<zone_spec> zones;
    std::vector<tag_spec> tags;
    std::vector<scenario_event> events;  // ordered by time
};

}  // namespace varnok::test_tools
