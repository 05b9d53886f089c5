#pragma once

#include <memory>
#include <string>

#include "async_context.h"
#include "command_arguments.h"
#include "core/events_loop.h"
#include "core/redis/context.h"
#include "sync_context.h"

namespace ozra::libs::core::redis {

// Runs only while the context that made it exists, raising otherwise; replies already pending are still
// delivered. Commands that turn a connection into a subscriber (SUBSCRIBE, MONITOR...) are refused.
class command_impl final : public command {
public:
    command_impl(events_loop& loop, std::weak_ptr<sync_context> sync, std::weak_ptr<async_context> async,
                 std::shared_ptr<command_arguments> arguments);

    command& add_argument(std::string argument) override;
    reply execute() override;
    std::unique_ptr<async_operation_handle<reply>> execute_async() override;

private:
    events_loop& m_events_loop;
    std::weak_ptr<sync_context> m_sync;
    std::weak_ptr<async_context> m_async;
    std::shared_ptr<command_arguments> m_arguments;
};

}  // namespace ozra::libs::core::redis
