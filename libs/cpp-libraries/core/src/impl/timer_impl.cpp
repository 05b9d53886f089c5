#include "timer_impl.h"

#include <boost/asio/error.hpp>

namespace ozra::libs::core {

timer_impl::timer_impl(boost::asio::io_context& io_context, const component_logger& logger,
                       time_point time_point, callback callback)
    : m_timer(io_context), m_logger(logger), m_data(std::make_shared<shared_data>()) {
    m_data->m_callback = std::move(callback);
    reset(time_point);
}

void timer_impl::reset(time_point time_point) {
    stop();
    m_time_point = time_point;
    m_timer.expires_at(time_point);
    m_timer.async_wait([&logger = m_logger, &current = m_time_point, time_point,
                        weak_data = std::weak_ptr<shared_data>(m_data)](const boost::system::error_code& ec) {
        const auto data = weak_data.lock();
        const bool is_current_wait = data && current == time_point;
        if (is_current_wait) {
            data->m_waiting = false;
        }
        if (ec == boost::asio::error::operation_aborted) {
            return;
        }
        if (ec) {
            logger.log_error(ec, OZRA_SOURCE_LOCATION);
            return;
        }
        if (is_current_wait) {
            data->m_callback(time_point);
        }
    });
    m_data->m_waiting = true;
}

void timer_impl::stop() {
    m_data->m_waiting = false;
    m_time_point = time_point{};
    m_timer.cancel();
}

}  // namespace ozra::libs::core
