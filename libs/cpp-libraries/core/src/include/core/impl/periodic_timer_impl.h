#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/periodic_timer.h"
#include "core/source_location.h"
#include "core/timer.h"
#include "core/timers_manager.h"

namespace ozra::libs::core {

// Ticks on the grid set by the first tick (or the last restart/expire_now); late ticks skip missed points.
class periodic_timer_impl : public periodic_timer {
public:
    periodic_timer_impl(timers_manager& manager, std::chrono::nanoseconds period, std::string name,
                        callback callback, const source_location& location, bool execute_now);

    void reset(std::chrono::nanoseconds period) override;
    void stop() override;
    void restart() override;
    void expire_now() override;

private:
    void arm(time_point time_point);
    void on_tick(time_point scheduled);

    std::string m_name;
    timers_manager& m_timers_manager;
    std::unique_ptr<timer> m_timer;
    std::chrono::nanoseconds m_period;
    std::shared_ptr<callback> m_callback;
};

}  // namespace ozra::libs::core
