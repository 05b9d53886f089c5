#pragma once

#include <json/value.h>

#include <string>

namespace varnok::test_tools {

// Compact one-line JSON text.
std::string to_compact_json(const Json::Value& value);

}  // namespace varnok::test_tools
