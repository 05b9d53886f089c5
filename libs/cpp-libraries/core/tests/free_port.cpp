#include "free_port.h"

namespace ozra::libs::core::testing {

namespace {

const boost::asio::ip::tcp::endpoint any_loopback_port{boost::asio::ip::make_address("127.0.0.1"), 0};

}  // namespace

int free_tcp_port() {
    boost::asio::io_context io_context;
    boost::asio::ip::tcp::acceptor acceptor(io_context, any_loopback_port);
    return acceptor.local_endpoint().port();
}

held_tcp_port::held_tcp_port() {
    m_socket.open(any_loopback_port.protocol());
    m_socket.bind(any_loopback_port);
}

}  // namespace ozra::libs::core::testing
