#pragma once

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "core/http/method.h"
#include "core/ip_protocol.h"
#include "core/message_stream.h"
#include "core/periodic_timer.h"
#include "core/source_location.h"
#include "core/timer.h"
#include "core/timers_manager.h"

namespace ozra::libs::core {

namespace http {
class client;
}  // namespace http

namespace tcp {
class manager;
}  // namespace tcp

namespace udp {
class socket;
}  // namespace udp

namespace zmq {
class manager;
}  // namespace zmq

namespace redis {
class context;
}  // namespace redis

// A single-threaded dispatcher: everything created from it completes on the thread running it.
class events_loop {
public:
    // While it exists, run() does not return for lack of work.
    class work {
    public:
        virtual ~work() = default;
    };

    // Stops the loop on SIGINT or SIGTERM for as long as it exists.
    class signals_handle {
    public:
        virtual ~signals_handle() = default;
        virtual bool signal_is_received() const = 0;
    };

    virtual ~events_loop() = default;

    virtual void run() = 0;
    virtual void run_catch_exceptions(const source_location& location = {}) = 0;
    virtual void stop() = 0;
    virtual bool is_stopped() const = 0;
    virtual std::unique_ptr<signals_handle> stop_on_signals() = 0;

    virtual timers_manager& get_timers() = 0;
    virtual std::unique_ptr<timer> create_timer(steady_time_point time_point, const std::string& name,
                                                timer::callback callback,
                                                const source_location& location = {}) = 0;
    virtual std::unique_ptr<periodic_timer> create_periodic_timer(std::chrono::nanoseconds period,
                                                                  const std::string& name,
                                                                  periodic_timer::callback callback,
                                                                  const source_location& location = {}) = 0;
    virtual std::unique_ptr<periodic_timer> create_periodic_timer(std::chrono::nanoseconds period,
                                                                  periodic_timer::execute_now,
                                                                  const std::string& name,
                                                                  periodic_timer::callback callback,
                                                                  const source_location& location = {}) = 0;

    // A stream delivering the JSON part of "#" + topic frames, connected to a ZeroMQ endpoint.
    virtual std::unique_ptr<message_stream> create_zmq_message_stream(const std::string& address) = 0;
    // A stream delivering whole frames matched literally by topic prefix.
    virtual std::unique_ptr<message_stream> create_zmq_raw_message_stream(const std::string& address) = 0;

    // Bound to every address of the protocol, or to one address.
    virtual std::unique_ptr<udp::socket> create_udp_socket(ip_protocol protocol, int port) = 0;
    virtual std::unique_ptr<udp::socket> create_udp_socket(const std::string& address, int port) = 0;
    virtual tcp::manager& get_tcp() = 0;
    virtual zmq::manager& get_zmq() = 0;
    // Requests to `address` on 10 worker threads.
    virtual std::unique_ptr<http::client> create_http_client(const std::string& address,
                                                             std::chrono::seconds timeout) = 0;
    virtual std::unique_ptr<http::client> create_http_client(const std::string& address,
                                                             std::chrono::seconds timeout,
                                                             const std::set<http::method>& disabled_methods,
                                                             int thread_count) = 0;
    // Connects both Redis connections; raises "Connection error: ..." when the server is down.
    virtual std::unique_ptr<redis::context> create_redis_context(const std::string& host, int port,
                                                                 int db) = 0;

    // Queues f after the handlers already ready; callable from any thread.
    virtual void post(std::function<void()> f, const source_location& location = {}) = 0;
    virtual std::unique_ptr<work> create_work() = 0;
    virtual boost::asio::io_context& get_io_context() = 0;
    virtual const boost::asio::io_context& get_io_context() const = 0;
};

}  // namespace ozra::libs::core
