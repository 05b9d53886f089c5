#pragma once

#include <string>

namespace ozra::libs::core {

namespace detail {

// Raises "Process is running" when the file names another live process.
void check_pid(const std::string& path);
// Replaces the file's content with this process id in decimal, without a line end.
void write_pid(const std::string& path);

}  // namespace detail

// Refuses to start a second instance, then records this process id.
inline void write_pid(const std::string& path) {
    detail::check_pid(path);
    detail::write_pid(path);
}

}  // namespace ozra::libs::core
