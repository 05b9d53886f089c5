#pragma once

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace ozra::libs::core {

// The life of an object whose completions may run after it is gone. The object keeps a lifetime as its
// last member; each completion keeps a token taken from it, or is wrapped by guard(), and does nothing once
// the object has been destroyed. A completion running on one thread holds the object: destroying it on
// another thread waits until the completion has returned. Tokens may be read on any thread.
class lifetime {
    struct state {
        std::mutex m_mutex;
        std::condition_variable m_released;
        bool m_ended = false;
        std::vector<std::thread::id> m_holders;  // one entry per hold, by the thread that has it
    };

public:
    // Keeps the object alive while it exists; false when the object was gone already.
    class hold {
    public:
        hold(const hold&) = delete;
        hold& operator=(const hold&) = delete;
        hold(hold&& other) noexcept : m_state(std::move(other.m_state)) {}
        ~hold() {
            if (!m_state) {
                return;
            }
            std::lock_guard lock(m_state->m_mutex);
            auto& holders = m_state->m_holders;
            holders.erase(std::find(holders.begin(), holders.end(), std::this_thread::get_id()));
            m_state->m_released.notify_all();
        }

        explicit operator bool() const { return m_state != nullptr; }

    private:
        friend class lifetime;
        explicit hold(std::shared_ptr<state> held) : m_state(std::move(held)) {}

        std::shared_ptr<state> m_state;
    };

    class token {
    public:
        bool expired() const {
            std::lock_guard lock(m_state->m_mutex);
            return m_state->m_ended;
        }
        // Holds the object unless it is gone.
        hold lock() const {
            std::lock_guard lock(m_state->m_mutex);
            if (m_state->m_ended) {
                return hold(nullptr);
            }
            m_state->m_holders.push_back(std::this_thread::get_id());
            return hold(m_state);
        }

    private:
        friend class lifetime;
        explicit token(std::shared_ptr<state> state) : m_state(std::move(state)) {}

        std::shared_ptr<state> m_state;
    };

    lifetime() = default;
    lifetime(const lifetime&) = delete;
    lifetime& operator=(const lifetime&) = delete;
    // Waits for the holds of other threads; a completion that destroys its own object does not wait for
    // itself.
    ~lifetime() {
        std::unique_lock lock(m_state->m_mutex);
        m_state->m_ended = true;
        m_state->m_released.wait(lock, [this] {
            const auto& holders = m_state->m_holders;
            return std::all_of(holders.begin(), holders.end(),
                               [](std::thread::id holder) { return holder == std::this_thread::get_id(); });
        });
    }

    token track() const { return token(m_state); }

    // f, made to do nothing when called after the object is gone, and holding the object while it runs.
    template <class F>
    auto guard(F f) const {
        return [alive = track(), f = std::move(f)](auto&&... arguments) mutable {
            if (const hold held = alive.lock()) {
                f(std::forward<decltype(arguments)>(arguments)...);
            }
        };
    }

private:
    std::shared_ptr<state> m_state = std::make_shared<state>();
};

}  // namespace ozra::libs::core
