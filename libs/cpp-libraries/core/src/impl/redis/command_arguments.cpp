#include "command_arguments.h"

#include <utility>

namespace ozra::libs::core::redis {

command_arguments::command_arguments(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        add(argument);
    }
}

void command_arguments::add(std::string argument) {
    const auto& kept = m_argv_keeper.emplace_back(std::move(argument));
    m_argv.push_back(kept.data());
    m_argv_len.push_back(kept.size());
}

std::string command_arguments::name() const {
    return m_argv_keeper.empty() ? std::string() : m_argv_keeper.front();
}

}  // namespace ozra::libs::core::redis
