#pragma once

#include <string>

#include "core/logger.h"

namespace ozra {

// The daemon's start-up sequence: command line, configuration, pid file, runtime.
class application {
public:
    // Returns the process exit status: 0 after a stop by signal, 1 after any failure.
    int run(int argc, char* argv[]);
    // The argument of the last -c option; raises on other options or when no name is given.
    std::string parse_config_name(int argc, char* argv[]);

private:
    int run_with_logger(libs::core::logger& logger, int argc, char* argv[]);
};

}  // namespace ozra
