#include "core_impl.h"

#include "events_loop_impl.h"

namespace ozra::libs::core {

std::unique_ptr<core> core::create(const component_logger& logger) {
    return std::make_unique<core_impl>(logger);
}

core_impl::core_impl(const component_logger& logger) : m_logger(logger.component("core")) {}

std::unique_ptr<events_loop> core_impl::create_events_loop(std::string_view /*name*/) {
    return std::make_unique<events_loop_impl>(*this, *m_logger);
}

}  // namespace ozra::libs::core
