#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/periodic_timer.h"
#include "core/source_location.h"
#include "core/timer.h"
#include "core/timestamp.h"

namespace ozra::libs::core {

// Creates the timers of one events loop.
class timers_manager {
public:
    virtual ~timers_manager() = default;

    virtual steady_time_point current_time_point() const = 0;
    virtual timestamp current_timestamp() const = 0;
    virtual std::unique_ptr<timer> create_timer(std::chrono::nanoseconds delay, const std::string& name,
                                                timer::callback callback,
                                                const source_location& location = {}) = 0;
    virtual std::unique_ptr<timer> create_timer(steady_time_point time_point, const std::string& name,
                                                timer::callback callback,
                                                const source_location& location = {}) = 0;
    virtual std::unique_ptr<periodic_timer> create_periodic_timer(std::chrono::nanoseconds period,
                                                                  const std::string& name,
                                                                  periodic_timer::callback callback,
                                                                  const source_location& location = {}) = 0;
    virtual std::unique_ptr<periodic_timer> create_periodic_timer(std::chrono::nanoseconds period,
                                                                  periodic_timer::execute_now,
                                                                  const std::string& name,
                                                                  periodic_timer::callback callback,
                                                                  const source_location& location = {}) = 0;
};

}  // namespace ozra::libs::core
