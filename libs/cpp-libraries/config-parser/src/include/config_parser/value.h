#pragma once

#include <boost/optional.hpp>
#include <boost/range/any_range.hpp>

#include <cstddef>
#include <optional>
#include <string>

namespace ozra::libs::config {

class dictionary;
class value;

using value_range =
    boost::any_range<const value, boost::bidirectional_traversal_tag, const value&, std::ptrdiff_t>;

// One JSON value; every conversion is empty when the value is of another kind.
class value {
public:
    virtual ~value() = default;
    virtual std::optional<bool> as_bool() const = 0;
    virtual std::optional<int> as_int() const = 0;
    virtual std::optional<double> as_double() const = 0;
    virtual std::optional<std::string> as_string() const = 0;
    virtual boost::optional<const dictionary&> as_object() const = 0;
    virtual boost::optional<value_range> as_array() const = 0;
};

namespace detail {

template <class T>
std::optional<T> value_as(const value& source);

template <>
inline std::optional<bool> value_as<bool>(const value& source) {
    return source.as_bool();
}

template <>
inline std::optional<int> value_as<int>(const value& source) {
    return source.as_int();
}

template <>
inline std::optional<double> value_as<double>(const value& source) {
    return source.as_double();
}

template <>
inline std::optional<std::string> value_as<std::string>(const value& source) {
    return source.as_string();
}

}  // namespace detail

}  // namespace ozra::libs::config
