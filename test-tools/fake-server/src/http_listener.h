#pragma once

#include "fake_server/recorded_request.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <string>

namespace varnok::test_tools {

struct http_reply {
    unsigned status = 200;
    std::string body;
    std::chrono::milliseconds delay{0};
};

// Answers one request; it receives the request without its answered status and fills that in.
using http_request_handler = std::function<http_reply(recorded_request&)>;

class http_session;

// Loopback HTTP/1.1 listener and its connections. Used only on the io_context's thread.
class http_listener {
public:
    http_listener(boost::asio::io_context& io, http_request_handler handler);
    ~http_listener();

    // Listens on 127.0.0.1 and the port (0: a free one); answers the bound port.
    unsigned short open(unsigned short port);
    // Closes the listening socket and every connection.
    void close();

private:
    void accept();

    boost::asio::io_context& m_io;
    http_request_handler m_handler;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::list<std::weak_ptr<http_session>> m_sessions;
};

}  // namespace varnok::test_tools
