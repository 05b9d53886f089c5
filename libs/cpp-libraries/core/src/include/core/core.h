#pragma once

#include <memory>
#include <string_view>

#include "core/events_loop.h"
#include "core/logger.h"

namespace ozra::libs::core {

// Makes events loops; every loop it makes logs through its component logger "core".
class core {
public:
    static std::unique_ptr<core> create(const component_logger& logger);

    virtual ~core() = default;
    virtual std::unique_ptr<events_loop> create_events_loop(std::string_view name) = 0;
};

}  // namespace ozra::libs::core
