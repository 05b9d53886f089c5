#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "core/events_loop.h"

namespace ozra::libs::core {

// Waits for SIGINT or SIGTERM on a thread and loop of its own, then stops the main loop.
class signals_handle_impl : public events_loop::signals_handle {
public:
    // Returns once both signals are handled, so a signal sent afterwards stops the main loop.
    signals_handle_impl(std::unique_ptr<events_loop> thread_events_loop, events_loop& main_events_loop);
    ~signals_handle_impl() override;

    bool signal_is_received() const override { return m_signal_is_received; }

private:
    std::unique_ptr<events_loop> m_thread_events_loop;
    events_loop& m_main_events_loop;
    std::atomic<bool> m_signal_is_received{false};
    std::thread m_thread;
};

}  // namespace ozra::libs::core
