#pragma once

#include <chrono>
#include <functional>

namespace ozra::libs::core {

using steady_time_point = std::chrono::time_point<std::chrono::steady_clock, std::chrono::nanoseconds>;

// A one-shot timer; its callback receives the time point the expiry was scheduled for.
class timer {
public:
    using time_point = steady_time_point;
    using callback = std::function<void(time_point)>;

    virtual ~timer() = default;
    virtual bool is_waiting() const = 0;
    virtual void reset(time_point time_point) = 0;
    virtual void stop() = 0;
};

}  // namespace ozra::libs::core
