#pragma once

#include <boost/asio/io_context.hpp>

#include <memory>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/logger.h"
#include "core/tcp/manager.h"
#include "core/zmq/manager.h"
#include "timers_manager_impl.h"

namespace ozra::libs::core {

class events_loop_impl : public events_loop {
public:
    events_loop_impl(core& owner, const component_logger& logger);
    // Runs the handlers that are or become ready within 10 seconds, then releases the managers.
    ~events_loop_impl() override;

    void run() override;
    void run_catch_exceptions(const source_location& location) override;
    void stop() override;
    bool is_stopped() const override;
    std::unique_ptr<signals_handle> stop_on_signals() override;

    timers_manager& get_timers() override;
    std::unique_ptr<timer> create_timer(steady_time_point time_point, const std::string& name,
                                        timer::callback callback, const source_location& location) override;
    std::unique_ptr<periodic_timer> create_periodic_timer(std::chrono::nanoseconds period,
                                                          const std::string& name,
                                                          periodic_timer::callback callback,
                                                          const source_location& location) override;
    std::unique_ptr<periodic_timer> create_periodic_timer(std::chrono::nanoseconds period,
                                                          periodic_timer::execute_now,
                                                          const std::string& name,
                                                          periodic_timer::callback callback,
                                                          const source_location& location) override;

    std::unique_ptr<message_stream> create_zmq_message_stream(const std::string& address) override;
    std::unique_ptr<message_stream> create_zmq_raw_message_stream(const std::string& address) override;
    std::unique_ptr<udp::socket> create_udp_socket(ip_protocol protocol, int port) override;
    std::unique_ptr<udp::socket> create_udp_socket(const std::string& address, int port) override;
    tcp::manager& get_tcp() override;
    zmq::manager& get_zmq() override;
    std::unique_ptr<http::client> create_http_client(const std::string& address,
                                                     std::chrono::seconds timeout) override;
    std::unique_ptr<http::client> create_http_client(const std::string& address, std::chrono::seconds timeout,
                                                     const std::set<http::method>& disabled_methods,
                                                     int thread_count) override;
    std::unique_ptr<redis::context> create_redis_context(const std::string& host, int port, int db) override;

    void post(std::function<void()> f, const source_location& location) override;
    std::unique_ptr<work> create_work() override;
    boost::asio::io_context& get_io_context() override;
    const boost::asio::io_context& get_io_context() const override;

private:
    void run_remaining_handlers();

    core& m_core;
    boost::asio::io_context m_io_context;
    const component_logger& m_logger;
    std::unique_ptr<timers_manager_impl> m_timers;
    std::unique_ptr<tcp::manager> m_tcp;
    std::unique_ptr<zmq::manager> m_zmq;
};

}  // namespace ozra::libs::core
