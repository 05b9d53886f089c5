#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <array>
#include <memory>

#include "core/logger.h"
#include "core/tcp/socket.h"

namespace ozra::libs::core::tcp {

class socket_impl final : public socket {
public:
    socket_impl(boost::asio::ip::tcp::socket socket, const component_logger& logger);
    ~socket_impl() override;

    void set_close_callback(close_callback callback) override;
    void set_receive_callback(receive_callback callback) override;
    boost::asio::ip::tcp::endpoint get_remote_endpoint() const override;
    void set_can_send_callback(can_send_callback callback) override;
    void notify_that_send_is_possible() override;
    std::size_t send_some(std::string_view bytes) override;

private:
    // What pending operations need; outlives the socket object until they complete.
    struct shared_data {
        std::array<char, 65536> m_buffer;
        bool m_socket_alive = true;
        bool m_waiting_in_progress = false;
        receive_callback m_receive_callback;
        close_callback m_close_callback;
        can_send_callback m_can_send_callback;
    };

    void start_receive();

    boost::asio::ip::tcp::socket m_socket;
    const component_logger& m_logger;
    std::shared_ptr<shared_data> m_data = std::make_shared<shared_data>();
};

}  // namespace ozra::libs::core::tcp
