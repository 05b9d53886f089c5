#include "command_impl.h"

#include <utility>

#include "core/async_operation_handle_impl.h"
#include "core/exception.h"

namespace ozra::libs::core::redis {

command_impl::command_impl(events_loop& loop, sync_context& sync, std::weak_ptr<async_context> async,
                           std::shared_ptr<command_arguments> arguments)
    : m_events_loop(loop), m_sync(sync), m_async(std::move(async)), m_arguments(std::move(arguments)) {}

command& command_impl::add_argument(std::string argument) {
    m_arguments->add(std::move(argument));
    return *this;
}

reply command_impl::execute() {
    return m_sync.execute(*m_arguments);
}

std::unique_ptr<async_operation_handle<reply>> command_impl::execute_async() {
    using handle = async_operation_handle_impl<reply>;
    return handle::start_new(m_events_loop.get_io_context(),
                             [async = m_async, arguments = m_arguments](handle::completion done) {
                                 const auto connection = async.lock();
                                 if (!connection) {
                                     OZRA_THROW("Command: " + arguments->name() + ", error");
                                 }
                                 connection->execute(*arguments, std::move(done));
                             });
}

}  // namespace ozra::libs::core::redis
