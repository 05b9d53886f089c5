#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <zmq.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/exception.h"
#include "core/logger.h"

// The standard and test library headers above serve every test of the layer.
namespace ozra::libs::core::testing {

// Dispatches the context's handlers on this thread, one at a time, until done() holds or a generous
// deadline passes; true once done() held (done() is not asked again: it may consume what it checks).
inline bool run_until(boost::asio::io_context& io_context, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        io_context.restart();
        io_context.run_one_for(std::chrono::milliseconds(20));
    }
    return true;
}

inline bool run_until(events_loop& loop, const std::function<bool()>& done) {
    return run_until(loop.get_io_context(), done);
}

// The message of the exception that call raises; "no exception" when it raises none.
template <class Call>
std::string raised_text(Call&& call) {
    try {
        call();
    } catch (const exception& e) {
        return e.get_string_error();
    }
    return "no exception";
}

// Calls publish every 20 ms until arrived() holds, as a subscriber joins its publisher some time after it
// connects; returns arrived().
inline bool publish_until(events_loop& loop, const std::function<void()>& publish,
                          const std::function<bool()>& arrived) {
    const auto timer =
        loop.create_periodic_timer(std::chrono::milliseconds(20), periodic_timer::execute_now{}, "publish",
                                   [&](steady_time_point) { publish(); });
    return run_until(loop, arrived);
}

// The lines a logger sends to its debug socket, collected on a free loopback port.
class log_collector {
public:
    explicit log_collector(logger& source) {
        m_socket.set(::zmq::sockopt::rcvtimeo, 10000);
        m_socket.bind("tcp://127.0.0.1:*");
        source.connect(m_socket.get(::zmq::sockopt::last_endpoint));
        next_line();  // the logger's "Connected to socket"
    }

    // The next line, or "<no line>" when none comes within the deadline.
    std::string next_line() {
        ::zmq::message_t frame;
        return m_socket.recv(frame) ? frame.to_string() : "<no line>";
    }

private:
    ::zmq::context_t m_context;
    ::zmq::socket_t m_socket{m_context, ::zmq::socket_type::pull};
};

// A test with a logger and an events loop of its own, run on the test's thread.
class loop_test : public ::testing::Test {
protected:
    logger m_logger{"varnokd", "test"};
    std::unique_ptr<::ozra::libs::core::core> m_core = ::ozra::libs::core::core::create(m_logger);
    std::unique_ptr<events_loop> m_loop = m_core->create_events_loop("main");

    // Runs the handlers that are ready, e.g. the completions of cancelled operations.
    void poll_ready() {
        m_loop->get_io_context().restart();
        m_loop->get_io_context().poll();
    }
};

inline const boost::asio::ip::tcp::endpoint any_loopback_port{boost::asio::ip::make_address("127.0.0.1"), 0};

// A loopback TCP port that nothing listens on at the moment of the call.
inline int free_tcp_port() {
    boost::asio::io_context io_context;
    return boost::asio::ip::tcp::acceptor(io_context, any_loopback_port).local_endpoint().port();
}

// A loopback TCP port bound without listening while this lives: connections to it are refused, and no
// other socket (of this test or of one running beside it) can take it.
class held_tcp_port {
public:
    int port() const { return m_socket.local_endpoint().port(); }

private:
    boost::asio::io_context m_io_context;
    boost::asio::ip::tcp::socket m_socket{m_io_context, any_loopback_port};
};

}  // namespace ozra::libs::core::testing
