#include "signals_handle_impl.h"

#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <future>
#include <utility>

namespace ozra::libs::core {

signals_handle_impl::signals_handle_impl(std::unique_ptr<events_loop> thread_events_loop,
                                         events_loop& main_events_loop)
    : m_thread_events_loop(std::move(thread_events_loop)), m_main_events_loop(main_events_loop) {
    std::promise<void> armed;
    auto is_armed = armed.get_future();
    m_thread = std::thread([this, armed = std::move(armed)]() mutable {
        boost::asio::signal_set signals(m_thread_events_loop->get_io_context());
        try {
            signals.add(SIGINT);
            signals.add(SIGTERM);
        } catch (...) {
            armed.set_exception(std::current_exception());
            return;
        }
        signals.async_wait([this](const boost::system::error_code& ec, int /*signal_number*/) {
            if (ec) {
                return;
            }
            m_signal_is_received = true;
            m_main_events_loop.stop();
            m_thread_events_loop->stop();
        });
        armed.set_value();
        m_thread_events_loop->run();
    });
    try {
        is_armed.get();
    } catch (...) {
        m_thread.join();
        throw;
    }
}

signals_handle_impl::~signals_handle_impl() {
    m_thread_events_loop->stop();
    m_thread.join();
}

}  // namespace ozra::libs::core
