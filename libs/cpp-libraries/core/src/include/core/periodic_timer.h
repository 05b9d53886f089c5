#pragma once

#include <chrono>
#include <functional>

#include "core/timer.h"

namespace ozra::libs::core {

// Ticks on a grid of one period; its callback receives the scheduled time point of each tick.
class periodic_timer {
public:
    using time_point = steady_time_point;
    using callback = std::function<void(time_point)>;

    // Selects the constructor whose first tick is due at once.
    struct execute_now {};

    virtual ~periodic_timer() = default;
    virtual void reset(std::chrono::nanoseconds period) = 0;
    virtual void stop() = 0;
    virtual void restart() = 0;
    virtual void expire_now() = 0;
};

}  // namespace ozra::libs::core
