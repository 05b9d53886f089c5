#pragma once

#include "http_listener.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <memory>

namespace varnok::test_tools {

// One keep-alive connection: reads requests, answers each through the handler, optionally delayed.
class http_session : public std::enable_shared_from_this<http_session> {
public:
    http_session(boost::asio::ip::tcp::socket socket, const http_request_handler& handler);

    void start();
    void close();

private:
    void read();
    void on_read(const boost::system::error_code& error);
    void write();
    void on_write(const boost::system::error_code& error);

    boost::beast::tcp_stream m_stream;
    boost::asio::steady_timer m_delay;
    boost::beast::flat_buffer m_buffer;
    boost::beast::http::request<boost::beast::http::string_body> m_request;
    boost::beast::http::response<boost::beast::http::string_body> m_response;
    const http_request_handler& m_handler;
};

}  // namespace varnok::test_tools
