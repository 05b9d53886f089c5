#include "http_listener.h"

#include "http_session.h"

#include <boost/asio/ip/address_v4.hpp>

namespace varnok::test_tools {

using boost::asio::ip::tcp;

http_listener::http_listener(boost::asio::io_context& io, http_request_handler handler)
    : m_io(io), m_handler(std::move(handler)), m_acceptor(io) {}

http_listener::~http_listener() {
    close();
}

unsigned short http_listener::open(unsigned short port) {
    const tcp::endpoint endpoint(boost::asio::ip::address_v4::loopback(), port);
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    accept();
    return m_acceptor.local_endpoint().port();
}

void http_listener::close() {
    boost::system::error_code ignored;
    m_acceptor.close(ignored);
    for (const auto& weak : m_sessions) {
        if (const auto session = weak.lock()) {
            session->close();
        }
    }
    m_sessions.clear();
}

void http_listener::accept() {
    m_acceptor.async_accept(m_io, [this](const boost::system::error_code& error, tcp::socket socket) {
        if (error) {
            return;
        }
        m_sessions.remove_if([](const std::weak_ptr<http_session>& weak) { return weak.expired(); });
        auto session = std::make_shared<http_session>(std::move(socket), m_handler);
        m_sessions.push_back(session);
        session->start();
        accept();
    });
}

}  // namespace varnok::test_tools
