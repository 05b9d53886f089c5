#pragma once

#include "simulator/scenario.h"

#include <stdexcept>
#include <string>

namespace varnok::test_tools {

// A scenario that cannot be used; the message names the source and the member.
class scenario_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

scenario read_scenario_file(const std::string& path);
// source names the text in error messages.
scenario parse_scenario(const std::string& text, const std::string& source);

}  // namespace varnok::test_tools
