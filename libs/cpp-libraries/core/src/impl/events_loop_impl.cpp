#include "events_loop_impl.h"

#include <boost/asio/post.hpp>

#include "core/http/create_client.h"
#include "core/redis/create_context.h"
#include "core/udp/create_socket.h"
#include "message_stream_zmq.h"
#include "message_stream_zmq_raw.h"
#include "signals_handle_impl.h"
#include "tcp/manager_impl.h"
#include "work_impl.h"
#include "zmq/manager_impl.h"

namespace ozra::libs::core {

namespace {

constexpr std::chrono::seconds destruction_time_limit{10};
constexpr int default_http_thread_count = 10;

}  // namespace

events_loop_impl::events_loop_impl(core& owner, const component_logger& logger)
    : m_core(owner),
      m_logger(logger),
      m_timers(std::make_unique<timers_manager_impl>(*this, m_logger)),
      m_tcp(std::make_unique<tcp::manager_impl>(m_io_context, m_logger)),
      m_zmq(std::make_unique<zmq::manager_impl>(m_io_context)) {}

events_loop_impl::~events_loop_impl() {
    run_remaining_handlers();
    m_zmq.reset();
    m_tcp.reset();
    m_timers.reset();
}

void events_loop_impl::run_remaining_handlers() {
    m_io_context.restart();
    const auto deadline = std::chrono::steady_clock::now() + destruction_time_limit;
    while (std::chrono::steady_clock::now() < deadline) {
        try {
            if (m_io_context.run_one_until(deadline) == 0) {
                return;
            }
        } catch (...) {
            m_logger.log_exception(OZRA_SOURCE_LOCATION);
        }
    }
}

void events_loop_impl::run() {
    m_io_context.run();
}

void events_loop_impl::run_catch_exceptions(const source_location& location) {
    for (;;) {
        try {
            run();
            return;
        } catch (...) {
            m_logger.log_exception(location);
        }
    }
}

void events_loop_impl::stop() {
    m_io_context.stop();
}

bool events_loop_impl::is_stopped() const {
    return m_io_context.stopped();
}

std::unique_ptr<events_loop::signals_handle> events_loop_impl::stop_on_signals() {
    return std::make_unique<signals_handle_impl>(m_core.create_events_loop("stop_on_signals"), *this);
}

timers_manager& events_loop_impl::get_timers() {
    return *m_timers;
}

std::unique_ptr<timer> events_loop_impl::create_timer(steady_time_point time_point, const std::string& name,
                                                      timer::callback callback,
                                                      const source_location& location) {
    return m_timers->create_timer(time_point, name, std::move(callback), location);
}

std::unique_ptr<periodic_timer> events_loop_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                                        const std::string& name,
                                                                        periodic_timer::callback callback,
                                                                        const source_location& location) {
    return m_timers->create_periodic_timer(period, name, std::move(callback), location);
}

std::unique_ptr<periodic_timer> events_loop_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                                        periodic_timer::execute_now tag,
                                                                        const std::string& name,
                                                                        periodic_timer::callback callback,
                                                                        const source_location& location) {
    return m_timers->create_periodic_timer(period, tag, name, std::move(callback), location);
}

std::unique_ptr<message_stream> events_loop_impl::create_zmq_message_stream(const std::string& address) {
    return std::make_unique<message_stream_zmq>(m_io_context, m_logger, address);
}

std::unique_ptr<message_stream> events_loop_impl::create_zmq_raw_message_stream(const std::string& address) {
    return std::make_unique<message_stream_zmq_raw>(m_io_context, m_logger, address);
}

std::unique_ptr<udp::socket> events_loop_impl::create_udp_socket(ip_protocol protocol, int port) {
    return udp::create_socket(m_io_context, m_logger, protocol, port);
}

std::unique_ptr<udp::socket> events_loop_impl::create_udp_socket(const std::string& address, int port) {
    return udp::create_socket(m_io_context, m_logger, address, port);
}

tcp::manager& events_loop_impl::get_tcp() {
    return *m_tcp;
}

zmq::manager& events_loop_impl::get_zmq() {
    return *m_zmq;
}

std::unique_ptr<http::client> events_loop_impl::create_http_client(const std::string& address,
                                                                   std::chrono::seconds timeout) {
    return create_http_client(address, timeout, {}, default_http_thread_count);
}

std::unique_ptr<http::client> events_loop_impl::create_http_client(
    const std::string& address, std::chrono::seconds timeout, const std::set<http::method>& disabled_methods,
    int thread_count) {
    return http::create_client(*this, m_core, m_logger, address, timeout, disabled_methods, thread_count);
}

std::unique_ptr<redis::context> events_loop_impl::create_redis_context(const std::string& host, int port,
                                                                       int db) {
    return redis::create_context(*this, m_logger, host, port, db);
}

void events_loop_impl::post(std::function<void()> f, const source_location& /*location*/) {
    boost::asio::post(m_io_context, std::move(f));
}

std::unique_ptr<events_loop::work> events_loop_impl::create_work() {
    return std::make_unique<work_impl>(m_io_context);
}

boost::asio::io_context& events_loop_impl::get_io_context() {
    return m_io_context;
}

const boost::asio::io_context& events_loop_impl::get_io_context() const {
    return m_io_context;
}

}  // namespace ozra::libs::core
