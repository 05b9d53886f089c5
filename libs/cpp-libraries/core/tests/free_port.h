#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace ozra::libs::core::testing {

// A loopback TCP port that nothing listens on at the moment of the call.
int free_tcp_port();

// A loopback TCP port bound without listening while this lives: connections to it are refused, and no
// other socket (of this test or of one running beside it) can take it.
class held_tcp_port {
public:
    held_tcp_port();
    int port() const { return m_socket.local_endpoint().port(); }

private:
    boost::asio::io_context m_io_context;
    boost::asio::ip::tcp::socket m_socket{m_io_context};
};

}  // namespace ozra::libs::core::testing
