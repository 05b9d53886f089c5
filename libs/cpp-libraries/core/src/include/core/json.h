#pragma once

#include <json/value.h>

#include <string>
#include <string_view>

namespace ozra::libs::core::json {

struct parse_result {
    Json::Value result;
    bool ok = false;
    std::string error;
};

// Parses the whole text; malformed input is reported through ok and error, never thrown.
parse_result try_parse(std::string_view text);

}  // namespace ozra::libs::core::json
