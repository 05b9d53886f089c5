#pragma once

#include <memory>
#include <string>
#include <vector>

#include "async_context.h"
#include "core/events_loop.h"
#include "core/logger.h"
#include "core/redis/context.h"
#include "sync_context.h"

namespace ozra::libs::core::redis {

class context_impl final : public context {
public:
    context_impl(events_loop& loop, std::shared_ptr<async_context> async, std::shared_ptr<sync_context> sync);

    // The loop-driven connection first; once it has selected the database, the blocking one.
    static std::unique_ptr<connect_handle> create(events_loop& loop, const component_logger& logger,
                                                  const std::string& host, int port, int db);

    std::unique_ptr<command> get(const std::string& key) override;
    std::unique_ptr<command> set(const std::string& key, const std::string& value) override;
    std::unique_ptr<command> del(const std::string& key) override;
    std::unique_ptr<command> add_to_set(const std::string& key) override;
    std::unique_ptr<command> add_to_set(const std::string& key, const std::string& member) override;
    std::unique_ptr<command> remove_from_set(const std::string& key, const std::string& member) override;
    std::unique_ptr<command> get_set_members(const std::string& key) override;
    std::unique_ptr<command> get_table(const std::string& key) override;
    std::unique_ptr<command> get_from_table(const std::string& key, const std::string& field) override;
    std::unique_ptr<command> get_from_table_multi(const std::string& key) override;
    std::unique_ptr<command> set_to_table(const std::string& key, const std::string& field,
                                          const std::string& value) override;
    std::unique_ptr<command> set_to_table_multi(const std::string& key) override;
    std::unique_ptr<command> increment_in_table(const std::string& key, const std::string& field,
                                                long long increment) override;
    std::unique_ptr<command> delete_from_table(const std::string& key, const std::string& field) override;
    iteration_result scan(const std::string& pattern, const scan_callback& callback) override;
    std::unique_ptr<command> create_command(std::vector<std::string> arguments) override;

private:
    events_loop& m_events_loop;
    std::shared_ptr<async_context> m_async;
    // Commands hold weak references to both connections.
    std::shared_ptr<sync_context> m_sync;
};

}  // namespace ozra::libs::core::redis
