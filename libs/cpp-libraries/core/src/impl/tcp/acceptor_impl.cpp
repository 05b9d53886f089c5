#include "acceptor_impl.h"

#include <boost/asio/error.hpp>

#include <utility>

#include "core/scope_guard.h"
#include "socket_impl.h"

namespace ozra::libs::core::tcp {

acceptor_impl::acceptor_impl(boost::asio::io_context& io_context, const component_logger& logger,
                             const boost::asio::ip::tcp::endpoint& endpoint)
    : m_io_context(io_context), m_logger(logger), m_acceptor(io_context, endpoint) {}

void acceptor_impl::set_callback(callback callback) {
    const bool first = !m_callback;
    m_callback = std::move(callback);
    if (first) {
        start_accept();
    }
}

boost::asio::ip::tcp::endpoint acceptor_impl::get_local_endpoint() const {
    return m_acceptor.local_endpoint();
}

void acceptor_impl::start_accept() {
    m_acceptor.async_accept(m_io_context, m_lifetime.guard([this](const boost::system::error_code& error,
                                                                  boost::asio::ip::tcp::socket accepted) {
        if (error == boost::asio::error::operation_aborted) {
            return;
        }
        if (error) {
            m_logger.log_error(error, OZRA_SOURCE_LOCATION);
            return;
        }
        const auto next = execute_on_scope_exit(m_lifetime.guard([this] { start_accept(); }));
        // The callback may replace itself or destroy the acceptor.
        const callback on_accepted = m_callback;
        on_accepted(std::make_unique<socket_impl>(std::move(accepted), m_logger));
    }));
}

}  // namespace ozra::libs::core::tcp
