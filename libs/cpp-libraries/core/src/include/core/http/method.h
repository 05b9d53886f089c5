#pragma once

#include <string_view>

namespace ozra::libs::core::http {

enum class method { get = 0, post = 1, put = 2, del = 3, _count = 4 };

// The request method text: "GET", "POST", "PUT", "DELETE"; raises "Unknown enumeration value" otherwise.
std::string_view to_string(method value);

}  // namespace ozra::libs::core::http
