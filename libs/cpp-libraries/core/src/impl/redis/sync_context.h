#pragma once

#include <string>

#include "command_arguments.h"
#include "core/logger.h"
#include "core/redis/reply.h"

struct redisContext;

namespace ozra::libs::core::redis {

// A blocking connection to the server with the database selected.
class sync_context {
public:
    // Raises "Connection error: ..." when the server cannot be reached within 1.5 s.
    sync_context(const component_logger& logger, const std::string& host, int port, int db);
    ~sync_context();
    sync_context(const sync_context&) = delete;
    sync_context& operator=(const sync_context&) = delete;

    // Raises "Command: <name>, error: <text>" for an error reply or a broken connection.
    reply execute(command_arguments& arguments);

private:
    const component_logger& m_logger;
    redisContext* m_context;
};

}  // namespace ozra::libs::core::redis
