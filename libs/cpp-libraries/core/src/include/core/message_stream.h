#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ozra::libs::core {

// Delivers published messages to callbacks registered per topic.
class message_stream {
public:
    // The view is valid only during the call.
    using callback = std::function<void(std::string_view message)>;

    // The registration lasts as long as this object.
    class subscription {
    public:
        virtual ~subscription() = default;
    };

    virtual ~message_stream() = default;
    virtual std::unique_ptr<subscription> subscribe(const std::string& topic, callback callback) = 0;
};

}  // namespace ozra::libs::core
