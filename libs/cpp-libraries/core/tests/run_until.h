#pragma once

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <functional>

namespace ozra::libs::core::testing {

// Runs the context in short slices until done() holds or a generous deadline passes; returns done().
inline bool run_until(boost::asio::io_context& io_context, const std::function<bool()>& done) {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        io_context.restart();
        io_context.run_for(5ms);
    }
    return done();
}

}  // namespace ozra::libs::core::testing
