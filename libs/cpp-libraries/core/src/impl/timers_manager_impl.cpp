#include "timers_manager_impl.h"

#include <time.h>

#include "core/events_loop.h"
#include "core/impl/periodic_timer_impl.h"
#include "timer_impl.h"

namespace ozra::libs::core {

timers_manager_impl::timers_manager_impl(events_loop& loop, const component_logger& logger)
    : m_events_loop(loop), m_logger(logger) {}

steady_time_point timers_manager_impl::current_time_point() const {
    return std::chrono::steady_clock::now();
}

timestamp timers_manager_impl::current_timestamp() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return timestamp::from_milliseconds(static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

std::unique_ptr<timer> timers_manager_impl::create_timer(std::chrono::nanoseconds delay,
                                                         const std::string& name, timer::callback callback,
                                                         const source_location& location) {
    return create_timer(current_time_point() + delay, name, std::move(callback), location);
}

std::unique_ptr<timer> timers_manager_impl::create_timer(steady_time_point time_point,
                                                         const std::string& /*name*/,
                                                         timer::callback callback,
                                                         const source_location& /*location*/) {
    return std::make_unique<timer_impl>(m_events_loop.get_io_context(), m_logger, time_point,
                                        std::move(callback));
}

std::unique_ptr<periodic_timer> timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                                           const std::string& name,
                                                                           periodic_timer::callback callback,
                                                                           const source_location& location) {
    return std::make_unique<periodic_timer_impl>(*this, period, name, std::move(callback), location, false);
}

std::unique_ptr<periodic_timer> timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                                           periodic_timer::execute_now,
                                                                           const std::string& name,
                                                                           periodic_timer::callback callback,
                                                                           const source_location& location) {
    return std::make_unique<periodic_timer_impl>(*this, period, name, std::move(callback), location, true);
}

}  // namespace ozra::libs::core
