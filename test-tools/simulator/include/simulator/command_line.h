#pragma once

#include "simulator/simulation_run.h"

#include <stdexcept>
#include <string>

namespace varnok::test_tools {

// The usage line, what the program does and every option.
extern const char* const usage_text;

// A command line that names an unknown option, lacks a value or lacks a required option.
class command_line_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct command_line {
    bool help = false;  // print the usage and do nothing else
    std::string scenario_path;
    run_options options;
};

// argv[0] is the program; raises command_line_error unless help is asked for or both required options are
// given.
command_line parse_command_line(int argc, const char* const argv[]);

}  // namespace varnok::test_tools
