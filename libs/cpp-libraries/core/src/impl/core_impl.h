#pragma once

#include <memory>
#include <string_view>

#include "core/core.h"
#include "core/logger.h"

namespace ozra::libs::core {

class core_impl : public core {
public:
    explicit core_impl(const component_logger& logger);

    std::unique_ptr<events_loop> create_events_loop(std::string_view name) override;

private:
    std::unique_ptr<component_logger> m_logger;
};

}  // namespace ozra::libs::core
