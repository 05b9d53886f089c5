#include "command_impl.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <utility>

#include "core/async_operation_handle_impl.h"
#include "core/exception.h"

namespace ozra::libs::core::redis {

namespace {

// Such a command leaves the connection, shared by every command of the context, taking pushed messages
// instead of replies.
bool makes_a_subscriber(const std::string& name) {
    static const std::set<std::string> names{"SUBSCRIBE",    "PSUBSCRIBE",   "SSUBSCRIBE", "UNSUBSCRIBE",
                                             "PUNSUBSCRIBE", "SUNSUBSCRIBE", "MONITOR"};
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return names.count(upper) != 0;
}

void refuse_subscribers(const command_arguments& arguments) {
    if (makes_a_subscriber(arguments.name())) {
        OZRA_THROW("Command: " + arguments.name() + ", error: subscriptions are not supported");
    }
}

}  // namespace

command_impl::command_impl(events_loop& loop, std::weak_ptr<sync_context> sync,
                           std::weak_ptr<async_context> async, std::shared_ptr<command_arguments> arguments)
    : m_events_loop(loop),
      m_sync(std::move(sync)),
      m_async(std::move(async)),
      m_arguments(std::move(arguments)) {}

command& command_impl::add_argument(std::string argument) {
    m_arguments->add(std::move(argument));
    return *this;
}

reply command_impl::execute() {
    refuse_subscribers(*m_arguments);
    const auto connection = m_sync.lock();
    if (!connection) {
        OZRA_THROW("Command: " + m_arguments->name() + ", error: the context is destroyed");
    }
    return connection->execute(*m_arguments);
}

std::unique_ptr<async_operation_handle<reply>> command_impl::execute_async() {
    using handle = async_operation_handle_impl<reply>;
    return handle::start_new(m_events_loop.get_io_context(),
                             [async = m_async, arguments = m_arguments](handle::completion done) {
                                 refuse_subscribers(*arguments);
                                 const auto connection = async.lock();
                                 if (!connection) {
                                     OZRA_THROW("Command: " + arguments->name() + ", error");
                                 }
                                 connection->execute(*arguments, std::move(done));
                             });
}

}  // namespace ozra::libs::core::redis
