#include "core/http/result.h"

#include <utility>

namespace ozra::libs::core::http {

result::result(std::string body, int code) : m_code(code) {
    if (code >= 200 && code <= 299) {
        m_data = std::move(body);
    } else {
        m_error = std::move(body);
    }
}

result::result(std::string error) : m_error(std::move(error)) {}

}  // namespace ozra::libs::core::http
