#pragma once

#include <memory>
#include <utility>

namespace ozra::libs::core {

namespace detail {

class scope_guard {
public:
    virtual ~scope_guard() = default;
};

template <class F>
class scope_guard_impl final : public scope_guard {
public:
    explicit scope_guard_impl(F callback) : m_callback(std::move(callback)) {}
    ~scope_guard_impl() override {
        if (m_should_execute) {
            m_callback();
        }
    }

private:
    bool m_should_execute = true;
    F m_callback;
};

}  // namespace detail

// Runs its action once, when the owning pointer releases it.
using scope_guard = std::unique_ptr<detail::scope_guard>;

template <class F>
scope_guard execute_on_scope_exit(F callback) {
    return std::make_unique<detail::scope_guard_impl<F>>(std::move(callback));
}

}  // namespace ozra::libs::core
