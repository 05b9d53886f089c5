#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <array>
#include <memory>

#include "core/lifetime.h"
#include "core/logger.h"
#include "core/tcp/socket.h"

namespace ozra::libs::core::tcp {

class socket_impl final : public socket {
public:
    socket_impl(boost::asio::ip::tcp::socket socket, const component_logger& logger);

    void set_close_callback(close_callback callback) override;
    void set_receive_callback(receive_callback callback) override;
    boost::asio::ip::tcp::endpoint get_remote_endpoint() const override;
    void set_can_send_callback(can_send_callback callback) override;
    void notify_that_send_is_possible() override;
    std::size_t send_some(std::string_view bytes) override;

private:
    void start_receive();

    boost::asio::ip::tcp::socket m_socket;
    const component_logger& m_logger;
    // Asio may write into the buffer until the read completes, which can be after the socket is gone.
    std::shared_ptr<std::array<char, 65536>> m_buffer = std::make_shared<std::array<char, 65536>>();
    bool m_waiting_in_progress = false;
    receive_callback m_receive_callback;
    close_callback m_close_callback;
    can_send_callback m_can_send_callback;
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core::tcp
