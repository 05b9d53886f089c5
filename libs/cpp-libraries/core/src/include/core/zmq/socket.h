#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/zmq/message.h"

namespace ozra::libs::core::zmq {

enum class flags {
    none = 0,
    sndmore = 2,  // more frames of the same message follow
};

// A ZeroMQ socket on an events loop; the receive callback runs on the loop thread.
class socket {
public:
    enum class type {
        push = 0,
        pull = 1,
        pub = 2,
        req = 3,
        rep = 4,
    };

    using receive_callback = std::function<void(const message& frame)>;

    virtual ~socket() = default;

    // The first call starts receiving; each frame is handed over in turn. A receive error ends receiving.
    virtual void set_receive_callback(receive_callback callback) = 0;
    // Blocks until the frame is queued; raises boost::system::system_error of the "ZeroMQ" category.
    virtual void send(std::string_view frame) = 0;
    virtual void send(std::string_view frame, flags flags) = 0;
    // Returns false when the frame cannot be queued at once.
    virtual bool try_send(std::string_view frame) = 0;
    virtual bool try_send(std::string_view frame, flags flags) = 0;
    // The next frame of the message whose last frame was received with more set; a message arrives
    // whole, so that frame is already queued. Raises when the last frame received ended its message.
    virtual message receive_more() = 0;
    // The endpoint the socket was bound to, with the port chosen; empty for a connected socket.
    virtual const std::string& get_bound_endpoint() const = 0;
};

}  // namespace ozra::libs::core::zmq
