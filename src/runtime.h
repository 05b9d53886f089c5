#pragma once

#include "config.h"
#include "core/logger.h"

namespace ozra {

// Builds the runtime from the configuration, runs it until SIGINT or SIGTERM stops it and tears it down.
// Failures raise.
void run_runtime(libs::core::logger& logger, const config& settings);

}  // namespace ozra
