#include "context_impl.h"

#include <hiredis/hiredis.h>

#include <utility>

#include "command_impl.h"
#include "core/async_operation_handle_impl.h"
#include "core/lifetime.h"
#include "core/redis/create_context.h"

namespace ozra::libs::core::redis {

namespace {

connect_result open_blocking_connection(events_loop& loop, const component_logger& logger,
                                        std::shared_ptr<async_context> async, const std::string& host,
                                        int port, int db) {
    try {
        auto sync = std::make_unique<sync_context>(logger, host, port, db);
        return std::make_unique<context_impl>(loop, std::move(async), std::move(sync));
    } catch (...) {
        logger.log_exception(OZRA_SOURCE_LOCATION);
        return std::nullopt;
    }
}

}  // namespace

context_impl::context_impl(events_loop& loop, std::shared_ptr<async_context> async,
                           std::shared_ptr<sync_context> sync)
    : m_events_loop(loop), m_async(std::move(async)), m_sync(std::move(sync)) {}

std::unique_ptr<connect_handle> context_impl::create(events_loop& loop, const component_logger& logger,
                                                     const std::string& host, int port, int db) {
    using handle = async_operation_handle_impl<connect_result>;
    // The connection being opened belongs to the handle.
    struct pending_connection {
        std::shared_ptr<async_context> m_async;
        lifetime m_lifetime;
    };
    auto pending = std::make_shared<pending_connection>();
    return handle::start_new(loop.get_io_context(), [&loop, &logger, host, port, db,
                                                     pending](handle::completion done) {
        auto connected = pending->m_lifetime.guard([&loop, &logger, host, port, db, slot = pending.get(),
                                                    done](int status) {
            if (!slot->m_async) {
                return;
            }
            auto async = std::move(slot->m_async);
            done(status == REDIS_OK ? open_blocking_connection(loop, logger, std::move(async), host, port, db)
                                    : std::nullopt);
        });
        auto on_connected = [&loop, connected](int status) {
            loop.post([connected, status]() mutable { connected(status); });
        };
        pending->m_async = std::make_shared<async_context>(loop.get_io_context(), logger, host, port, db,
                                                           std::move(on_connected));
    });
}

std::unique_ptr<command> context_impl::get(const std::string& key) {
    return create_command({"GET", key});
}

std::unique_ptr<command> context_impl::set(const std::string& key, const std::string& value) {
    return create_command({"SET", key, value});
}

std::unique_ptr<command> context_impl::del(const std::string& key) {
    return create_command({"DEL", key});
}

std::unique_ptr<command> context_impl::add_to_set(const std::string& key) {
    return create_command({"SADD", key});
}

std::unique_ptr<command> context_impl::add_to_set(const std::string& key, const std::string& member) {
    return create_command({"SADD", key, member});
}

std::unique_ptr<command> context_impl::remove_from_set(const std::string& key, const std::string& member) {
    return create_command({"SREM", key, member});
}

std::unique_ptr<command> context_impl::get_set_members(const std::string& key) {
    return create_command({"SMEMBERS", key});
}

std::unique_ptr<command> context_impl::get_table(const std::string& key) {
    return create_command({"HGETALL", key});
}

std::unique_ptr<command> context_impl::get_from_table(const std::string& key, const std::string& field) {
    return create_command({"HGET", key, field});
}

std::unique_ptr<command> context_impl::get_from_table_multi(const std::string& key) {
    return create_command({"HMGET", key});
}

std::unique_ptr<command> context_impl::set_to_table(const std::string& key, const std::string& field,
                                                    const std::string& value) {
    return create_command({"HSET", key, field, value});
}

std::unique_ptr<command> context_impl::set_to_table_multi(const std::string& key) {
    return create_command({"HMSET", key});
}

std::unique_ptr<command> context_impl::increment_in_table(const std::string& key, const std::string& field,
                                                          long long increment) {
    return create_command({"HINCRBY", key, field, std::to_string(increment)});
}

std::unique_ptr<command> context_impl::delete_from_table(const std::string& key, const std::string& field) {
    return create_command({"HDEL", key, field});
}

iteration_result context_impl::scan(const std::string& pattern, const scan_callback& callback) {
    std::string cursor = "0";
    do {
        command_arguments arguments({"SCAN", cursor, "MATCH", pattern});
        const reply page = m_sync->execute(arguments);
        const reply_array parts = page.as_array();
        cursor = parts[0].to_string();
        const auto visit = [&callback](const reply_element& key) { return callback(key.as_string_view()); };
        if (parts[1].as_array().for_each_element(visit) == iteration_result::interrupted) {
            return iteration_result::interrupted;
        }
    } while (cursor != "0");
    return iteration_result::finished;
}

std::unique_ptr<command> context_impl::create_command(std::vector<std::string> arguments) {
    return std::make_unique<command_impl>(m_events_loop, m_sync, m_async,
                                          std::make_shared<command_arguments>(arguments));
}

std::unique_ptr<context> create_context(events_loop& loop, const component_logger& logger,
                                        const std::string& host, int port, int db) {
    auto sync = std::make_unique<sync_context>(logger, host, port, db);
    auto async = std::make_shared<async_context>(loop.get_io_context(), logger, host, port, db, nullptr);
    return std::make_unique<context_impl>(loop, std::move(async), std::move(sync));
}

std::unique_ptr<connect_handle> connect(events_loop& loop, const component_logger& logger,
                                        const std::string& host, int port, int db) {
    return context_impl::create(loop, logger, host, port, db);
}

}  // namespace ozra::libs::core::redis
