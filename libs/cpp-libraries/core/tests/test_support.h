#pragma once

#include <boost/asio/io_context.hpp>
#include <zmq.hpp>

#include <chrono>
#include <functional>
#include <string>

#include "core/events_loop.h"
#include "core/exception.h"
#include "core/logger.h"

namespace ozra::libs::core::testing {

// Dispatches the context's handlers on this thread, one at a time, until done() holds or a generous
// deadline passes; returns done().
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
        m_connected_line = next_line();
    }

    // The logger's first line on the socket, its "Connected to socket".
    const std::string& connected_line() const { return m_connected_line; }

    // The next line, or "<no line>" when none comes within the deadline.
    std::string next_line() {
        ::zmq::message_t frame;
        return m_socket.recv(frame) ? frame.to_string() : "<no line>";
    }

private:
    ::zmq::context_t m_context;
    ::zmq::socket_t m_socket{m_context, ::zmq::socket_type::pull};
    std::string m_connected_line;
};

}  // namespace ozra::libs::core::testing
