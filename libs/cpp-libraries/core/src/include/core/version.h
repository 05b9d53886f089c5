#pragma once

#include <string_view>

namespace ozra::libs::core::constants {

extern const std::string_view git_version;
extern const std::string_view git_subversion;
extern const std::string_view library_name;
extern const std::string_view project_name;
extern const std::string_view source_directory;

}  // namespace ozra::libs::core::constants
