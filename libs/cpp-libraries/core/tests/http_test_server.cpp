#include "http_test_server.h"

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

namespace ozra::libs::core::testing {

namespace beast_http = boost::beast::http;

http_test_server::http_test_server()
    : m_acceptor(m_io_context, {boost::asio::ip::make_address("127.0.0.1"), 0}),
      m_accepting([this] { accept_connections(); }) {}

http_test_server::~http_test_server() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        for (auto& socket : m_sockets) {
            boost::system::error_code ignored;
            socket.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
        }
    }
    m_stopped.notify_all();
    // Wakes the blocking accept.
    boost::asio::ip::tcp::socket waker(m_io_context);
    boost::system::error_code ignored;
    waker.connect(m_acceptor.local_endpoint(), ignored);
    m_accepting.join();
    for (auto& session : m_sessions) {
        session.join();
    }
}

std::string http_test_server::address() const {
    return "http://127.0.0.1:" + std::to_string(m_acceptor.local_endpoint().port());
}

void http_test_server::accept_connections() {
    for (;;) {
        boost::asio::ip::tcp::socket socket(m_io_context);
        boost::system::error_code error;
        m_acceptor.accept(socket, error);
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || error) {
            return;
        }
        auto& kept = m_sockets.emplace_back(std::move(socket));
        m_sessions.emplace_back([this, &kept] { serve(kept); });
    }
}

void http_test_server::serve(boost::asio::ip::tcp::socket& socket) {
    boost::beast::flat_buffer buffer;
    for (;;) {
        beast_http::request<beast_http::string_body> request;
        boost::system::error_code error;
        beast_http::read(socket, buffer, request, error);
        if (error) {
            return;
        }
        ++m_requests;
        const std::string target(request.target());
        beast_http::response<beast_http::string_body> response(beast_http::status::ok, request.version());
        if (target == "/hang") {
            hang();
            return;
        }
        if (target == "/missing") {
            response.result(beast_http::status::not_found);
            response.body() = "no such thing";
        } else if (target == "/moved") {
            response.result(beast_http::status::found);
            response.set(beast_http::field::location, "/echo");
        } else {
            response.body() = std::string(request.method_string()) + " " + target + "\n" +
                              "content-type: " + std::string(request[beast_http::field::content_type]) +
                              "\n" + "user-agent: " + std::string(request[beast_http::field::user_agent]) +
                              "\n" + request.body();
        }
        response.prepare_payload();
        beast_http::write(socket, response, error);
        if (error) {
            return;
        }
    }
}

void http_test_server::hang() {
    ++m_hanging;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopped.wait(lock, [this] { return m_stopping; });
}

}  // namespace ozra::libs::core::testing
