#pragma once

#include <memory>
#include <utility>

namespace ozra::libs::core {

// The life of an object whose completions may run after it is gone. The object keeps a lifetime as a
// member; each completion keeps a token taken from it, or is wrapped by guard(), and does nothing once
// the object has been destroyed. Tokens may be read on any thread.
class lifetime {
public:
    class token {
    public:
        bool expired() const { return m_alive.expired(); }

    private:
        friend class lifetime;
        explicit token(std::weak_ptr<const bool> alive) : m_alive(std::move(alive)) {}

        std::weak_ptr<const bool> m_alive;
    };

    lifetime() = default;
    lifetime(const lifetime&) = delete;
    lifetime& operator=(const lifetime&) = delete;

    token track() const { return token(m_alive); }

    // f, made to do nothing when called after the object is gone.
    template <class F>
    auto guard(F f) const {
        return [alive = track(), f = std::move(f)](auto&&... arguments) mutable {
            if (!alive.expired()) {
                f(std::forward<decltype(arguments)>(arguments)...);
            }
        };
    }

private:
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
};

}  // namespace ozra::libs::core
