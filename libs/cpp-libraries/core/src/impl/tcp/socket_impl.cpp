#include "socket_impl.h"

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <sys/socket.h>

#include <utility>

#include "core/scope_guard.h"

namespace ozra::libs::core::tcp {

socket_impl::socket_impl(boost::asio::ip::tcp::socket socket, const component_logger& logger)
    : m_socket(std::move(socket)), m_logger(logger) {
    m_socket.non_blocking(true);
}

void socket_impl::set_close_callback(close_callback callback) {
    m_close_callback = std::move(callback);
}

void socket_impl::set_receive_callback(receive_callback callback) {
    const bool first = !m_receive_callback;
    m_receive_callback = std::move(callback);
    if (first) {
        start_receive();
    }
}

boost::asio::ip::tcp::endpoint socket_impl::get_remote_endpoint() const {
    return m_socket.remote_endpoint();
}

void socket_impl::set_can_send_callback(can_send_callback callback) {
    m_can_send_callback = std::move(callback);
}

void socket_impl::notify_that_send_is_possible() {
    if (m_waiting_in_progress) {
        return;
    }
    m_waiting_in_progress = true;
    m_socket.async_wait(boost::asio::socket_base::wait_write,
                        m_lifetime.guard([this](const boost::system::error_code& error) {
                            m_waiting_in_progress = false;
                            if (error) {
                                if (error != boost::asio::error::operation_aborted) {
                                    m_logger.log_error(error, OZRA_SOURCE_LOCATION);
                                }
                                return;
                            }
                            if (const can_send_callback callback = m_can_send_callback) {
                                callback();
                            }
                        }));
}

std::size_t socket_impl::send_some(std::string_view bytes) {
    boost::system::error_code error;
    const std::size_t sent =
        m_socket.send(boost::asio::buffer(bytes.data(), bytes.size()), MSG_NOSIGNAL, error);
    if (error == boost::asio::error::would_block || error == boost::asio::error::try_again) {
        return 0;
    }
    if (error) {
        throw boost::system::system_error(error, "send");
    }
    return sent;
}

void socket_impl::start_receive() {
    m_socket.async_read_some(
        boost::asio::buffer(*m_buffer),
        m_lifetime.guard([this, buffer = m_buffer](const boost::system::error_code& error, std::size_t size) {
            if (error == boost::asio::error::operation_aborted) {
                return;
            }
            if (error == boost::asio::error::eof) {
                if (const close_callback callback = m_close_callback) {
                    callback();
                }
                return;
            }
            if (error) {
                m_logger.log_error(error, OZRA_SOURCE_LOCATION);
                return;
            }
            const auto next = execute_on_scope_exit(m_lifetime.guard([this] { start_receive(); }));
            // The callback may replace itself or destroy the socket; the bytes stay until it returns.
            const receive_callback callback = m_receive_callback;
            callback(std::string_view(buffer->data(), size));
        }));
}

}  // namespace ozra::libs::core::tcp
