#include "core/source_location.h"

#include "core/version.h"

namespace ozra::libs::core {

std::string_view source_location::remove_directory_prefix(std::string_view path) {
    const auto prefix_length = constants::source_directory.size();
    if (path.size() < prefix_length) {
        return {};
    }
    return path.substr(prefix_length);
}

std::string_view source_location::short_function() const {
    constexpr std::string_view namespace_prefix = "ozra::";
    const auto parenthesis = m_function.find('(');
    if (parenthesis == std::string_view::npos || m_function.size() < namespace_prefix.size()) {
        return m_function;
    }
    const auto last_start = m_function.size() - namespace_prefix.size();
    const auto prefix = m_function.rfind(namespace_prefix, parenthesis < last_start ? parenthesis : last_start);
    if (prefix == std::string_view::npos) {
        return m_function;
    }
    return m_function.substr(prefix, parenthesis - prefix);
}

}  // namespace ozra::libs::core
