#pragma once

#include <functional>

namespace ozra::libs::core {

// A running asynchronous operation; its result reaches the callback on the loop thread.
// Destroying the handle drops a result that has not been delivered yet.
template <class Result>
class async_operation_handle {
public:
    using callback = std::function<void(Result)>;

    virtual ~async_operation_handle() = default;

    // Whether the result has been handed back since the last start.
    virtual bool is_complete() const = 0;
    // Runs the operation again.
    virtual void restart() = 0;
    // A result that arrived before a callback was set is delivered to the first callback set.
    virtual void set_callback(callback callback) = 0;
};

}  // namespace ozra::libs::core
