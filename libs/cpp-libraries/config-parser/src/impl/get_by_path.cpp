#include <boost/algorithm/string/join.hpp>

#include <string>
#include <vector>

#include "config_parser/config.h"

namespace ozra::libs::config {

namespace {

template <class T>
constexpr const char* type_name();

template <>
constexpr const char* type_name<int>() {
    return "int";
}

template <>
constexpr const char* type_name<double>() {
    return "double";
}

template <>
constexpr const char* type_name<bool>() {
    return "bool";
}

template <>
constexpr const char* type_name<std::string>() {
    return "string";
}

template <class T>
error_reason missing_field(const std::string& path_text) {
    return error_reason{std::string("Can not find field <") + type_name<T>() + ">: " + path_text};
}

}  // namespace

template <class T>
result<T> config::get_by_path(std::initializer_list<std::string> path) const {
    const std::vector<std::string> keys(path);
    const std::string path_text = boost::algorithm::join(keys, ".");
    if (keys.empty()) {
        return missing_field<T>(path_text);
    }
    const dictionary* current = &get_root();
    for (std::size_t depth = 0; depth + 1 < keys.size(); ++depth) {
        const boost::optional<const value&> found = current->get_value(keys[depth]);
        const boost::optional<const dictionary&> object = found ? found->as_object() : boost::none;
        if (!object) {
            const std::vector<std::string> reached(keys.begin(), keys.begin() + depth + 1);
            return error_reason{"Can not find object <object>: " + boost::algorithm::join(reached, ".") +
                                ", path: " + path_text};
        }
        current = &*object;
    }
    std::optional<T> found = current->get<T>(keys.back());
    if (!found) {
        return missing_field<T>(path_text);
    }
    return std::move(*found);
}

template result<int> config::get_by_path<int>(std::initializer_list<std::string> path) const;
template result<double> config::get_by_path<double>(std::initializer_list<std::string> path) const;
template result<bool> config::get_by_path<bool>(std::initializer_list<std::string> path) const;
template result<std::string> config::get_by_path<std::string>(std::initializer_list<std::string> path) const;

}  // namespace ozra::libs::config
