#pragma once

#include <boost/asio/io_context.hpp>

#include <memory>
#include <string>

#include "core/asio_zmq/socket.h"
#include "core/lifetime.h"
#include "core/zmq/context.h"
#include "core/zmq/socket.h"

namespace ozra::libs::core::zmq {

class socket_impl final : public socket {
public:
    // Closing waits at most a second for queued frames to leave.
    socket_impl(boost::asio::io_context& io_context, std::shared_ptr<context> context, type type);

    void connect(const std::string& address);
    void bind(const std::string& address);

    void set_receive_callback(receive_callback callback) override;
    void send(std::string_view frame) override;
    void send(std::string_view frame, flags flags) override;
    bool try_send(std::string_view frame) override;
    bool try_send(std::string_view frame, flags flags) override;
    message receive_more() override;
    const std::string& get_bound_endpoint() const override;

private:
    void start_receive();

    asio_zmq::socket m_socket;
    receive_callback m_receive_callback;
    bool m_message_continues = false;
    std::string m_bound_endpoint;
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core::zmq
