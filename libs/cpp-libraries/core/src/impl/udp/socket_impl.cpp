#include "socket_impl.h"

#include <boost/asio/error.hpp>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/scope_guard.h"
#include "core/udp/create_socket.h"

namespace ozra::libs::core::udp {

namespace {

constexpr int receive_buffer_size = 65536;

using packet_info_option = boost::asio::detail::socket_option::boolean<IPPROTO_IP, IP_PKTINFO>;

boost::asio::ip::udp::endpoint any_address(ip_protocol protocol, int port) {
    const auto family = protocol == ip_protocol::v6 ? boost::asio::ip::udp::v6() : boost::asio::ip::udp::v4();
    return {family, static_cast<unsigned short>(port)};
}

boost::asio::ip::address_v4 destination_of(msghdr& message) {
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(header), sizeof(info));
            return boost::asio::ip::address_v4(ntohl(info.ipi_addr.s_addr));
        }
    }
    return {};
}

}  // namespace

socket_impl::socket_impl(boost::asio::io_context& io_context, const component_logger& logger,
                         const boost::asio::ip::udp::endpoint& endpoint)
    : m_socket(io_context, endpoint.protocol()), m_logger(logger) {
    m_socket.bind(endpoint);
    m_socket.set_option(boost::asio::socket_base::receive_buffer_size(receive_buffer_size));
    m_socket.set_option(packet_info_option(true));
}

socket_impl::socket_impl(boost::asio::io_context& io_context, const component_logger& logger,
                         ip_protocol protocol, int port)
    : socket_impl(io_context, logger, any_address(protocol, port)) {}

socket_impl::socket_impl(boost::asio::io_context& io_context, const component_logger& logger,
                         const std::string& address, int port)
    : socket_impl(io_context, logger,
                  boost::asio::ip::udp::endpoint(boost::asio::ip::make_address(address),
                                                 static_cast<unsigned short>(port))) {}

void socket_impl::set_receive_callback(receive_callback callback) {
    const bool first = !m_callback;
    m_callback = std::move(callback);
    if (first) {
        start_wait();
    }
}

std::size_t socket_impl::send_to(const boost::asio::ip::udp::endpoint& endpoint, std::string_view bytes) {
    return m_socket.send_to(boost::asio::buffer(bytes.data(), bytes.size()), endpoint);
}

std::size_t socket_impl::send_to(const std::string& address, int port, std::string_view bytes) {
    return send_to(make_endpoint(address, port), bytes);
}

boost::asio::ip::udp::endpoint socket_impl::make_endpoint(const std::string& address, int port) const {
    return {boost::asio::ip::make_address(address), static_cast<unsigned short>(port)};
}

boost::asio::ip::udp::endpoint socket_impl::get_local_endpoint() const {
    return m_socket.local_endpoint();
}

void socket_impl::start_wait() {
    m_socket.async_wait(boost::asio::socket_base::wait_read,
                        m_lifetime.guard([this](const boost::system::error_code& error) {
                            if (error == boost::asio::error::operation_aborted) {
                                return;
                            }
                            if (error) {
                                m_logger.log_error(error, OZRA_SOURCE_LOCATION);
                                return;
                            }
                            bool keep_receiving = true;
                            const auto next = execute_on_scope_exit(m_lifetime.guard([this, &keep_receiving] {
                                if (keep_receiving) {
                                    start_wait();
                                }
                            }));
                            keep_receiving = receive_datagram();
                        }));
}

bool socket_impl::receive_datagram() {
    const auto data = m_received;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    iovec vector{data->m_buffer.data(), data->m_buffer.size()};
    msghdr message{};
    message.msg_name = data->m_remote_endpoint.data();
    message.msg_namelen = static_cast<socklen_t>(data->m_remote_endpoint.capacity());
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    const ssize_t size = ::recvmsg(m_socket.native_handle(), &message, MSG_DONTWAIT);
    if (size < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return true;
        }
        m_logger.log_error(boost::system::error_code(errno, boost::system::system_category()),
                           OZRA_SOURCE_LOCATION);
        return false;
    }
    data->m_remote_endpoint.resize(message.msg_namelen);
    // The callback may replace itself or destroy the socket.
    const receive_callback callback = m_callback;
    callback(data->m_remote_endpoint, destination_of(message),
             std::string_view(data->m_buffer.data(), static_cast<std::size_t>(size)));
    return true;
}

std::unique_ptr<socket> create_socket(boost::asio::io_context& io_context, const component_logger& logger,
                                      ip_protocol protocol, int port) {
    return std::make_unique<socket_impl>(io_context, logger, protocol, port);
}

std::unique_ptr<socket> create_socket(boost::asio::io_context& io_context, const component_logger& logger,
                                      const std::string& address, int port) {
    return std::make_unique<socket_impl>(io_context, logger, address, port);
}

}  // namespace ozra::libs::core::udp
