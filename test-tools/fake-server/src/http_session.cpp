#include "http_session.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace varnok::test_tools {

namespace http = boost::beast::http;

namespace {

recorded_request to_recorded(const http::request<http::string_body>& request) {
    recorded_request recorded;
    recorded.method = std::string(request.method_string());
    recorded.target = std::string(request.target());
    recorded.path = recorded.target.substr(0, recorded.target.find('?'));
    for (const auto& field : request) {
        auto& value = recorded.headers[boost::algorithm::to_lower_copy(std::string(field.name_string()))];
        value += (value.empty() ? "" : ", ") + std::string(field.value());
    }
    recorded.body = request.body();
    return recorded;
}

}  // namespace

http_session::http_session(boost::asio::ip::tcp::socket socket, const http_request_handler& handler)
    : m_stream(std::move(socket)), m_delay(m_stream.get_executor()), m_handler(handler) {}

void http_session::start() {
    read();
}

void http_session::close() {
    boost::system::error_code ignored;
    m_delay.cancel();
    m_stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    m_stream.socket().close(ignored);
}

void http_session::read() {
    m_request = {};
    http::async_read(m_stream, m_buffer, m_request,
                     [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
                         self->on_read(error);
                     });
}

void http_session::on_read(const boost::system::error_code& error) {
    if (error) {
        close();
        return;
    }
    recorded_request recorded = to_recorded(m_request);
    const http_reply reply = m_handler(recorded);
    m_response =
        http::response<http::string_body>(static_cast<http::status>(reply.status), m_request.version());
    m_response.set(http::field::content_type, "application/json");
    m_response.keep_alive(m_request.keep_alive());
    // A 1xx, 204 or 304 answer carries no body.
    const bool bodyless = reply.status < 200 || reply.status == 204 || reply.status == 304;
    m_response.body() = bodyless ? std::string() : reply.body;
    m_response.prepare_payload();
    if (reply.delay.count() <= 0) {
        write();
        return;
    }
    m_delay.expires_after(reply.delay);
    m_delay.async_wait([self = shared_from_this()](const boost::system::error_code& wait_error) {
        if (!wait_error) {
            self->write();
        }
    });
}

void http_session::write() {
    http::async_write(m_stream, m_response,
                      [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
                          self->on_write(error);
                      });
}

void http_session::on_write(const boost::system::error_code& error) {
    if (error || m_response.need_eof()) {
        close();
        return;
    }
    read();
}

}  // namespace varnok::test_tools
