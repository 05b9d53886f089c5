#pragma once

#include <chrono>
#include <functional>

#include "core/events_loop.h"

namespace ozra::libs::core::testing {

// Dispatches the loop's handlers on this thread until the condition holds or 10 seconds pass.
inline bool run_until(events_loop& loop, const std::function<bool()>& condition) {
    auto& io_context = loop.get_io_context();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (io_context.stopped()) {
            io_context.restart();
        }
        io_context.run_one_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace ozra::libs::core::testing
