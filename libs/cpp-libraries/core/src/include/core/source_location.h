#pragma once

#include <cstdint>
#include <string_view>

namespace ozra::libs::core {

// Where something happened: line, absolute file path and the compiler's pretty function text.
class source_location {
public:
    source_location() = default;
    source_location(std::int64_t line, std::string_view file, std::string_view function)
        : m_line(line), m_file(file), m_function(function) {}

    std::int64_t line() const { return m_line; }
    std::string_view file() const { return m_file; }
    std::string_view function() const { return m_function; }

    // Drops as many leading characters as the source directory path is long.
    static std::string_view remove_directory_prefix(std::string_view path);

    std::string_view short_file() const { return remove_directory_prefix(m_file); }
    // The qualified name without return type and parameters, e.g. "ozra::kelt::initialize".
    std::string_view short_function() const;

private:
    std::int64_t m_line = 0;
    std::string_view m_file = "unknown file";
    std::string_view m_function = "unknown function";
};

}  // namespace ozra::libs::core

#define OZRA_SOURCE_LOCATION ::ozra::libs::core::source_location(__LINE__, __FILE__, __PRETTY_FUNCTION__)
