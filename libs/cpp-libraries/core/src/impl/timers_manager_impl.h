#pragma once

#include "core/logger.h"
#include "core/timers_manager.h"

namespace ozra::libs::core {

class events_loop;

class timers_manager_impl : public timers_manager {
public:
    timers_manager_impl(events_loop& loop, const component_logger& logger);

    steady_time_point current_time_point() const override;
    timestamp current_timestamp() const override;
    std::unique_ptr<timer> create_timer(std::chrono::nanoseconds delay, const std::string& name,
                                        timer::callback callback, const source_location& location) override;
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

private:
    events_loop& m_events_loop;
    const component_logger& m_logger;
};

}  // namespace ozra::libs::core
