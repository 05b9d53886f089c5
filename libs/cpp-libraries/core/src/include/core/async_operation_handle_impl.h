#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "core/async_operation_handle.h"
#include "core/lifetime.h"

namespace ozra::libs::core {

template <class Result>
class async_operation_handle_impl final : public async_operation_handle<Result> {
public:
    using callback = typename async_operation_handle<Result>::callback;

    // Hands the result back to the handle's loop; callable from any thread, any number of times.
    class completion {
    public:
        completion(boost::asio::io_context& io_context, async_operation_handle_impl& handle,
                   std::shared_ptr<std::atomic<bool>> completed)
            : m_io_context(io_context),
              m_handle(&handle),
              m_alive(handle.m_lifetime.track()),
              m_completed(std::move(completed)) {}

        void operator()(Result result) const {
            m_completed->store(true);
            boost::asio::post(m_io_context, [handle = m_handle, alive = m_alive,
                                             result = std::make_shared<Result>(std::move(result))]() {
                deliver_to(handle, alive, std::move(*result));
            });
        }

        // Hands the result over at once; callable on the handle's loop thread only.
        void deliver_on_loop(Result result) const {
            m_completed->store(true);
            deliver_to(m_handle, m_alive, std::move(result));
        }

    private:
        static void deliver_to(async_operation_handle_impl* handle, const lifetime::token& alive,
                               Result result) {
            if (const lifetime::hold held = alive.lock()) {
                handle->deliver(std::move(result));
            }
        }

        boost::asio::io_context& m_io_context;
        async_operation_handle_impl* m_handle;
        lifetime::token m_alive;
        std::shared_ptr<std::atomic<bool>> m_completed;
    };

    using start_function = std::function<void(completion)>;

    async_operation_handle_impl(boost::asio::io_context& io_context, start_function start_function)
        : m_io_context(io_context), m_start_function(std::move(start_function)) {}

    // Creates the handle and starts the operation.
    static std::unique_ptr<async_operation_handle<Result>> start_new(boost::asio::io_context& io_context,
                                                                     start_function start_function) {
        auto handle = std::make_unique<async_operation_handle_impl>(io_context, std::move(start_function));
        handle->start();
        return handle;
    }

    void start() {
        m_completed->store(false);
        m_start_function(completion(m_io_context, *this, m_completed));
    }

    bool is_complete() const override { return m_completed->load(); }

    void restart() override { start(); }

    void set_callback(callback callback) override {
        m_callback = std::move(callback);
        if (m_pending && m_callback) {
            completion(m_io_context, *this, m_completed)(std::move(*m_pending));
            m_pending.reset();
        }
    }

private:
    void deliver(Result result) {
        if (!m_callback) {
            m_pending.emplace(std::move(result));
            return;
        }
        // The callback may replace itself or destroy the handle.
        const callback call = m_callback;
        call(std::move(result));
    }

    boost::asio::io_context& m_io_context;
    // Set by completions on any thread, possibly after the handle is gone.
    std::shared_ptr<std::atomic<bool>> m_completed = std::make_shared<std::atomic<bool>>(false);
    start_function m_start_function;
    callback m_callback;
    std::optional<Result> m_pending;
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core
