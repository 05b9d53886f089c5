#pragma once

#include "simulator/scenario.h"

#include <json/value.h>

#include <vector>

namespace varnok::test_tools {

// The scenario's data as the location server's REST resources serve it.
Json::Value zone_types_json(const std::vector<zone_type_spec>& types);
Json::Value zone_json(const zone_spec& zone);
Json::Value zones_json(const std::vector<zone_spec>& zones);
// Associated tags carry a node; unassociated ones only a project uid.
Json::Value trackable_objects_json(const std::vector<tag_spec>& tags);
Json::Value stored_statuses_json(const std::vector<tag_spec>& tags);

}  // namespace varnok::test_tools
