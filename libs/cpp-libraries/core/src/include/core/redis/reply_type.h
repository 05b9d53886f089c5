#pragma once

#include <string_view>

namespace ozra::libs::core::redis {

// The hiredis reply type numbers.
enum class reply_type { STRING = 1, ARRAY = 2, INTEGER = 3, NIL = 4, STATUS = 5, ERROR = 6, _count = 7 };

std::string_view to_string(reply_type type);

}  // namespace ozra::libs::core::redis
