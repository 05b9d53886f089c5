#include "core/impl/periodic_timer_impl.h"

#include <algorithm>

namespace ozra::libs::core {

periodic_timer_impl::periodic_timer_impl(timers_manager& manager, std::chrono::nanoseconds period,
                                         std::string name, callback callback,
                                         const source_location& /*location*/, bool execute_now)
    : m_name(std::move(name)),
      m_timers_manager(manager),
      m_period(period),
      m_callback(std::make_shared<periodic_timer::callback>(std::move(callback))) {
    restart();
    if (execute_now) {
        expire_now();
    }
}

void periodic_timer_impl::reset(std::chrono::nanoseconds period) {
    m_period = period;
    restart();
}

void periodic_timer_impl::stop() {
    m_timer.reset();
}

void periodic_timer_impl::restart() {
    m_timer.reset();
    arm(m_timers_manager.current_time_point() + m_period);
}

void periodic_timer_impl::expire_now() {
    arm(m_timers_manager.current_time_point());
}

void periodic_timer_impl::arm(time_point time_point) {
    if (m_timer) {
        m_timer->reset(time_point);
        return;
    }
    m_timer = m_timers_manager.create_timer(
        time_point, m_name,
        [this, weak_callback = std::weak_ptr<callback>(m_callback)](timer::time_point scheduled) {
            if (!weak_callback.expired()) {
                on_tick(scheduled);
            }
        },
        OZRA_SOURCE_LOCATION);
}

void periodic_timer_impl::on_tick(time_point scheduled) {
    const auto keep_alive = m_callback;
    const auto now = m_timers_manager.current_time_point();
    const auto elapsed = std::max(now - scheduled, std::chrono::nanoseconds::zero());
    arm(scheduled + (elapsed / m_period + 1) * m_period);
    (*keep_alive)(scheduled);
}

}  // namespace ozra::libs::core
