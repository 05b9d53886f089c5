#include "socket_impl.h"

#include <zmq.h>

#include <chrono>
#include <string>
#include <utility>

#include "core/exception.h"
#include "core/scope_guard.h"

namespace ozra::libs::core::zmq {

namespace {

constexpr std::chrono::milliseconds linger{1000};

int zmq_socket_type(socket::type type) {
    switch (type) {
        case socket::type::push:
            return ZMQ_PUSH;
        case socket::type::pull:
            return ZMQ_PULL;
        case socket::type::pub:
            return ZMQ_PUB;
        case socket::type::req:
            return ZMQ_REQ;
        case socket::type::rep:
            return ZMQ_REP;
    }
    OZRA_THROW("Unknown ZeroMQ socket type: " + std::to_string(static_cast<int>(type)));
}

bool has_more(flags flags) {
    return (static_cast<int>(flags) & static_cast<int>(flags::sndmore)) != 0;
}

}  // namespace

socket_impl::socket_impl(boost::asio::io_context& io_context, std::shared_ptr<context> context, type type)
    : m_socket(io_context, std::move(context), zmq_socket_type(type)) {
    m_socket.set_linger(linger);
}

void socket_impl::connect(const std::string& address) {
    m_socket.connect(address);
}

void socket_impl::bind(const std::string& address) {
    m_bound_endpoint = m_socket.bind(address);
}

void socket_impl::set_receive_callback(receive_callback callback) {
    const bool first = !m_receive_callback;
    m_receive_callback = std::move(callback);
    if (first) {
        start_receive();
    }
}

void socket_impl::send(std::string_view frame) {
    send(frame, flags::none);
}

void socket_impl::send(std::string_view frame, flags flags) {
    m_socket.send(frame, has_more(flags));
}

bool socket_impl::try_send(std::string_view frame) {
    return try_send(frame, flags::none);
}

bool socket_impl::try_send(std::string_view frame, flags flags) {
    return m_socket.try_send(frame, has_more(flags));
}

message socket_impl::receive_more() {
    auto next = m_message_continues ? m_socket.try_receive() : std::nullopt;
    if (!next) {
        OZRA_THROW("receive_more: the last frame received ended its message");
    }
    m_message_continues = next->more;
    return std::move(*next);
}

const std::string& socket_impl::get_bound_endpoint() const {
    return m_bound_endpoint;
}

void socket_impl::start_receive() {
    m_socket.async_receive(m_lifetime.guard([this](const boost::system::error_code& error, message frame) {
        if (error) {
            return;
        }
        m_message_continues = frame.more;
        const auto next = execute_on_scope_exit(m_lifetime.guard([this] { start_receive(); }));
        // The callback may replace itself or destroy the socket.
        const receive_callback callback = m_receive_callback;
        callback(frame);
    }));
}

}  // namespace ozra::libs::core::zmq
