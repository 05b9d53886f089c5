#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <memory>

#include "core/logger.h"
#include "core/timer.h"

namespace ozra::libs::core {

class timer_impl : public timer {
public:
    timer_impl(boost::asio::io_context& io_context, const component_logger& logger, time_point time_point,
               callback callback);

    bool is_waiting() const override { return m_data->m_waiting; }
    void reset(time_point time_point) override;
    void stop() override;

private:
    // Reached by pending completions through a weak reference; the timer holds the only strong one.
    struct shared_data {
        callback m_callback;
        bool m_waiting = false;
    };

    boost::asio::steady_timer m_timer;
    time_point m_time_point{};
    const component_logger& m_logger;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace ozra::libs::core
