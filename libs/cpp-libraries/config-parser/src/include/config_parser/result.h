#pragma once

#include <boost/optional/bad_optional_access.hpp>
#include <boost/variant.hpp>

#include <string>
#include <tuple>
#include <utility>

namespace ozra::libs::config {

struct error_reason {
    std::string reason;
};

// A look-up outcome: either the value or the text saying why there is none.
template <class T>
class result {
public:
    result(T value) : m_value(std::move(value)) {}
    result(error_reason reason) : m_value(std::move(reason)) {}

    bool ok() const { return m_value.which() == 0; }
    const T* try_get() const { return boost::get<T>(&m_value); }

    // Raises boost::bad_optional_access on a result that holds a reason.
    const T& value() const {
        if (const T* held = try_get()) {
            return *held;
        }
        throw boost::bad_optional_access();
    }

    std::string reason() const {
        const error_reason* held = boost::get<error_reason>(&m_value);
        return held != nullptr ? held->reason : std::string();
    }

private:
    boost::variant<T, error_reason> m_value;
};

namespace detail {

// Views a value as a tuple so that chains of + stay flat.
template <class T>
struct as_tuple {
    using type = std::tuple<T>;
    static type make(const T& value) { return type(value); }
};

template <class... Ts>
struct as_tuple<std::tuple<Ts...>> {
    using type = std::tuple<Ts...>;
    static const type& make(const type& value) { return value; }
};

template <class A, class B>
using joined_tuple =
    decltype(std::tuple_cat(std::declval<typename as_tuple<A>::type>(), std::declval<std::tuple<B>>()));

}  // namespace detail

// Joins two results: the values into one flat tuple, or every reason, one per line.
template <class A, class B>
result<detail::joined_tuple<A, B>> operator+(const result<A>& left, const result<B>& right) {
    if (left.ok() && right.ok()) {
        return std::tuple_cat(detail::as_tuple<A>::make(*left.try_get()), std::tuple<B>(*right.try_get()));
    }
    if (left.ok()) {
        return error_reason{right.reason()};
    }
    if (right.ok()) {
        return error_reason{left.reason()};
    }
    return error_reason{left.reason() + "\n" + right.reason()};
}

}  // namespace ozra::libs::config
