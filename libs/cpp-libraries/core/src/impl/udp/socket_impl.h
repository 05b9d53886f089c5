#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <array>
#include <memory>

#include "core/ip_protocol.h"
#include "core/lifetime.h"
#include "core/logger.h"
#include "core/udp/socket.h"

namespace ozra::libs::core::udp {

class socket_impl final : public socket {
public:
    socket_impl(boost::asio::io_context& io_context, const component_logger& logger,
                const boost::asio::ip::udp::endpoint& endpoint);
    socket_impl(boost::asio::io_context& io_context, const component_logger& logger, ip_protocol protocol,
                int port);
    socket_impl(boost::asio::io_context& io_context, const component_logger& logger,
                const std::string& address, int port);

    void set_receive_callback(receive_callback callback) override;
    std::size_t send_to(const boost::asio::ip::udp::endpoint& endpoint, std::string_view bytes) override;
    std::size_t send_to(const std::string& address, int port, std::string_view bytes) override;
    boost::asio::ip::udp::endpoint make_endpoint(const std::string& address, int port) const override;
    boost::asio::ip::udp::endpoint get_local_endpoint() const override;

private:
    // The datagram's bytes and sender; they stay while the callback runs, even if it destroys the socket.
    struct received {
        std::array<char, 65536> m_buffer;
        boost::asio::ip::udp::endpoint m_remote_endpoint;
    };

    void start_wait();
    // Reads one datagram and hands it to the callback; false when receiving must stop.
    bool receive_datagram();

    boost::asio::ip::udp::socket m_socket;
    const component_logger& m_logger;
    receive_callback m_callback;
    std::shared_ptr<received> m_received = std::make_shared<received>();
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core::udp
