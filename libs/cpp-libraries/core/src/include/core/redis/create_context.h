#pragma once

#include <memory>
#include <string>

#include "core/events_loop.h"
#include "core/logger.h"
#include "core/redis/context.h"

namespace ozra::libs::core::redis {

// Opens both connections at once; the blocking one raises "Connection error: ..." when the server is down.
std::unique_ptr<context> create_context(events_loop& loop, const component_logger& logger,
                                        const std::string& host, int port, int db);

// Returns at once; the result is empty when the loop-driven connection fails.
std::unique_ptr<connect_handle> connect(events_loop& loop, const component_logger& logger,
                                        const std::string& host, int port, int db);

}  // namespace ozra::libs::core::redis
