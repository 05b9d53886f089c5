#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include "core/events_loop.h"

namespace ozra::libs::core {

class work_impl : public events_loop::work {
public:
    explicit work_impl(boost::asio::io_context& io_context) : m_guard(io_context.get_executor()) {}

private:
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_guard;
};

}  // namespace ozra::libs::core
