#pragma once

namespace ozra::libs::core {

enum class ip_protocol { v4 = 0, v6 = 1 };

}  // namespace ozra::libs::core
