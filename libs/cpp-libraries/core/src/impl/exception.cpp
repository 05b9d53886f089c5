#include "core/exception.h"

#include <sstream>

namespace ozra::libs::core {

const char* located_exception::what() const noexcept {
    try {
        std::ostringstream stream;
        describe(stream);
        m_what = stream.str();
    } catch (...) {
        m_what.clear();
    }
    return m_what.c_str();
}

std::ostream& located_exception::describe(std::ostream& stream) const {
    return stream << m_source_location.short_file() << ":" << m_source_location.line();
}

std::ostream& exception::describe(std::ostream& stream) const {
    return located_exception::describe(stream) << " " << m_str_error;
}

}  // namespace ozra::libs::core
