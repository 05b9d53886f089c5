#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <vector>

namespace ozra::libs::core::redis {

// A command line for hiredis: each argument keeps its own bytes and length, so any bytes may be sent.
class command_arguments {
public:
    command_arguments() = default;
    explicit command_arguments(const std::vector<std::string>& arguments);
    command_arguments(const command_arguments&) = delete;
    command_arguments& operator=(const command_arguments&) = delete;

    void add(std::string argument);

    int count() const { return static_cast<int>(m_argv.size()); }
    const char** argv() { return m_argv.data(); }
    const std::size_t* argv_len() const { return m_argv_len.data(); }
    // The first argument, for error messages.
    std::string name() const;

private:
    std::list<std::string> m_argv_keeper;
    std::vector<const char*> m_argv;
    std::vector<std::size_t> m_argv_len;
};

}  // namespace ozra::libs::core::redis
