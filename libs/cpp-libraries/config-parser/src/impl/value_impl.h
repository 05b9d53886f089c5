#pragma once

#include <json/value.h>

#include <boost/variant.hpp>

#include <functional>
#include <vector>

#include "config_parser/value.h"

namespace ozra::libs::config {

class value_impl;
using array_storage = std::vector<value_impl>;

// A scalar (a copy of the JSON value), an object or an array owned by the document.
class value_impl final : public value {
public:
    explicit value_impl(Json::Value scalar) : m_value(std::move(scalar)) {}
    explicit value_impl(const dictionary& object) : m_value(std::cref(object)) {}
    explicit value_impl(const array_storage& array) : m_value(std::cref(array)) {}

    std::optional<bool> as_bool() const override;
    std::optional<int> as_int() const override;
    std::optional<double> as_double() const override;
    std::optional<std::string> as_string() const override;
    boost::optional<const dictionary&> as_object() const override;
    boost::optional<value_range> as_array() const override;

private:
    const Json::Value* scalar() const { return boost::get<Json::Value>(&m_value); }

    boost::variant<Json::Value, std::reference_wrapper<const dictionary>,
                   std::reference_wrapper<const array_storage>>
        m_value;
};

}  // namespace ozra::libs::config
