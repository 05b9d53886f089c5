#include "value_impl.h"

namespace ozra::libs::config {

std::optional<bool> value_impl::as_bool() const {
    const Json::Value* held = scalar();
    if (held == nullptr || !held->isBool()) {
        return std::nullopt;
    }
    return held->asBool();
}

std::optional<int> value_impl::as_int() const {
    // isInt() also accepts reals without a fraction, but only inside the signed 32-bit range.
    const Json::Value* held = scalar();
    if (held == nullptr || !held->isInt()) {
        return std::nullopt;
    }
    return held->asInt();
}

std::optional<double> value_impl::as_double() const {
    const Json::Value* held = scalar();
    if (held == nullptr || !held->isNumeric()) {
        return std::nullopt;
    }
    return held->asDouble();
}

std::optional<std::string> value_impl::as_string() const {
    const Json::Value* held = scalar();
    if (held == nullptr || !held->isString()) {
        return std::nullopt;
    }
    return held->asString();
}

boost::optional<const dictionary&> value_impl::as_object() const {
    const auto* held = boost::get<std::reference_wrapper<const dictionary>>(&m_value);
    if (held == nullptr) {
        return boost::none;
    }
    return held->get();
}

boost::optional<value_range> value_impl::as_array() const {
    const auto* held = boost::get<std::reference_wrapper<const array_storage>>(&m_value);
    if (held == nullptr) {
        return boost::none;
    }
    return value_range(held->get());
}

}  // namespace ozra::libs::config
