#include "manager_impl.h"

#include "acceptor_impl.h"
#include "socket_impl.h"

namespace ozra::libs::core::tcp {

namespace {

boost::asio::ip::tcp::endpoint make_endpoint(const std::string& address, int port) {
    return {boost::asio::ip::make_address(address), static_cast<unsigned short>(port)};
}

}  // namespace

manager_impl::manager_impl(boost::asio::io_context& io_context, const component_logger& logger)
    : m_io_context(io_context), m_logger(logger) {}

std::unique_ptr<socket> manager_impl::connect(const std::string& host, int port) {
    boost::asio::ip::tcp::socket connected(m_io_context);
    connected.connect(make_endpoint(host, port));
    return std::make_unique<socket_impl>(std::move(connected), m_logger);
}

std::unique_ptr<acceptor> manager_impl::listen(ip_protocol protocol, int port) {
    const auto family = protocol == ip_protocol::v6 ? boost::asio::ip::tcp::v6() : boost::asio::ip::tcp::v4();
    return std::make_unique<acceptor_impl>(
        m_io_context, m_logger, boost::asio::ip::tcp::endpoint(family, static_cast<unsigned short>(port)));
}

std::unique_ptr<acceptor> manager_impl::listen(const std::string& address, int port) {
    return std::make_unique<acceptor_impl>(m_io_context, m_logger, make_endpoint(address, port));
}

}  // namespace ozra::libs::core::tcp
