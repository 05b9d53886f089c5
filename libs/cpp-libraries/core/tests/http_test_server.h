#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace ozra::libs::core::testing {

// A Boost.Beast server on a free loopback port, one thread per connection.
// "/missing" answers 404 with the body "no such thing", "/moved" redirects to "/echo", "/hang" never
// answers; every other path answers 200 with the request's method, target, content-type, user agent and body.
class http_test_server {
public:
    http_test_server();
    ~http_test_server();
    http_test_server(const http_test_server&) = delete;
    http_test_server& operator=(const http_test_server&) = delete;

    std::string address() const;
    int requests() const { return m_requests; }
    int hanging_requests() const { return m_hanging; }

private:
    void accept_connections();
    void serve(boost::asio::ip::tcp::socket& socket);
    void hang();

    boost::asio::io_context m_io_context;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_hanging{0};
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    std::list<boost::asio::ip::tcp::socket> m_sockets;
    std::list<std::thread> m_sessions;
    std::thread m_accepting;
};

}  // namespace ozra::libs::core::testing
