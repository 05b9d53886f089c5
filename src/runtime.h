#pragma once

#include <string>

#include "config.h"
#include "core/logger.h"

namespace ozra {

// "tcp://" + proxy address + ":" + proxy output port.
std::string proxy_endpoint(const config& settings);

// Builds the runtime from the configuration, runs the controller until SIGINT or SIGTERM stops the loop and
// tears it down in reverse order of creation. Failures raise.
void run_runtime(libs::core::logger& logger, const config& settings);

}  // namespace ozra
