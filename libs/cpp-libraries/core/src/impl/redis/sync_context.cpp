#include "sync_context.h"

#include <hiredis/hiredis.h>

#include <sys/time.h>

#include "core/exception.h"

namespace ozra::libs::core::redis {

namespace {

constexpr timeval connect_timeout{1, 500000};

}  // namespace

sync_context::sync_context(const component_logger& logger, const std::string& host, int port, int db)
    : m_logger(logger), m_context(redisConnectWithTimeout(host.c_str(), port, connect_timeout)) {
    if (m_context == nullptr) {
        OZRA_THROW("Connection error: can't allocate redis context");
    }
    if (m_context->err != 0) {
        const std::string error = m_context->errstr;
        redisFree(m_context);
        OZRA_THROW("Connection error: " + error);
    }
    try {
        command_arguments select({"SELECT", std::to_string(db)});
        execute(select);
    } catch (...) {
        redisFree(m_context);
        throw;
    }
    m_logger.debug("Connected to the redis server %1%:%2%, database %3%") % host % port % db;
}

sync_context::~sync_context() {
    redisFree(m_context);
}

reply sync_context::execute(command_arguments& arguments) {
    auto* const raw = static_cast<redisReply*>(
        redisCommandArgv(m_context, arguments.count(), arguments.argv(), arguments.argv_len()));
    if (raw == nullptr) {
        OZRA_THROW("Command: " + arguments.name() + ", error: " + m_context->errstr);
    }
    reply result(raw);
    if (result.get_type() == reply_type::ERROR) {
        OZRA_THROW("Command: " + arguments.name() + ", error: " + result.to_string());
    }
    return result;
}

}  // namespace ozra::libs::core::redis
