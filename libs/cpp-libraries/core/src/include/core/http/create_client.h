#pragma once

#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/http/client.h"
#include "core/logger.h"

namespace ozra::libs::core::http {

// Requests of a disabled method send nothing and give status 200 with an empty body.
std::unique_ptr<client> create_client(events_loop& loop, core& core, const component_logger& logger,
                                      const std::string& address, std::chrono::seconds timeout,
                                      const std::set<method>& disabled_methods, int thread_count);

}  // namespace ozra::libs::core::http
