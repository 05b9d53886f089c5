#pragma once

#include <boost/optional.hpp>

#include <optional>
#include <string>
#include <vector>

#include "config_parser/value.h"

namespace ozra::libs::config {

// One JSON object.
class dictionary {
public:
    virtual ~dictionary() = default;
    virtual boost::optional<const value&> get_value(const std::string& key) const = 0;
    // Keys in ascending byte-wise order.
    virtual std::vector<std::string> get_keys() const = 0;

    // Empty when the key is absent or holds a value of another kind.
    template <class T>
    std::optional<T> get(const std::string& key) const {
        const boost::optional<const value&> found = get_value(key);
        if (!found) {
            return std::nullopt;
        }
        return detail::value_as<T>(*found);
    }
};

}  // namespace ozra::libs::config
