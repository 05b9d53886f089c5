#include "manager_impl.h"

#include "socket_impl.h"

namespace ozra::libs::core::zmq {

manager_impl::manager_impl(boost::asio::io_context& io_context) : m_io_context(io_context) {}

std::unique_ptr<socket> manager_impl::connect(socket::type type, const std::string& address) {
    auto connected = std::make_unique<socket_impl>(m_io_context, m_context, type);
    connected->connect(address);
    return connected;
}

std::unique_ptr<socket> manager_impl::bind(socket::type type, const std::string& address) {
    auto bound = std::make_unique<socket_impl>(m_io_context, m_context, type);
    bound->bind(address);
    return bound;
}

}  // namespace ozra::libs::core::zmq
