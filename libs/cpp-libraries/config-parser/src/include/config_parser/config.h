#pragma once

#include <initializer_list>
#include <istream>
#include <memory>
#include <string>

#include "config_parser/dictionary.h"
#include "config_parser/result.h"

namespace ozra::libs::config {

enum class type { json = 0 };

// A parsed configuration document: a read-only tree of dictionaries, arrays and values.
class config {
public:
    virtual ~config() = default;
    virtual const dictionary& get_root() const = 0;

    // Parses the whole stream; raises std::runtime_error "Cannot parse json: ..." on a malformed document.
    template <type format>
    static std::unique_ptr<config> create(std::istream& stream);

    // Looks up a value by its keys, e.g. {"server", "port"}; instantiated for int, bool and std::string.
    template <class T>
    result<T> get_by_path(std::initializer_list<std::string> path) const;
};

template <>
std::unique_ptr<config> config::create<type::json>(std::istream& stream);

}  // namespace ozra::libs::config
