#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <cstddef>
#include <functional>
#include <string_view>

namespace ozra::libs::core::tcp {

// A connected non-blocking TCP socket; every callback runs on the loop thread.
class socket {
public:
    using close_callback = std::function<void()>;
    using receive_callback = std::function<void(std::string_view bytes)>;
    using can_send_callback = std::function<void()>;

    virtual ~socket() = default;

    // Called once when the peer closes the connection.
    virtual void set_close_callback(close_callback callback) = 0;
    // The first call starts receiving, up to 65,536 bytes at a time.
    virtual void set_receive_callback(receive_callback callback) = 0;
    virtual boost::asio::ip::tcp::endpoint get_remote_endpoint() const = 0;
    virtual void set_can_send_callback(can_send_callback callback) = 0;
    // Waits once for the socket to become writable, then calls the can-send callback.
    virtual void notify_that_send_is_possible() = 0;
    // Writes what the kernel takes at once, without SIGPIPE; raises a Boost system error on failure.
    virtual std::size_t send_some(std::string_view bytes) = 0;
};

}  // namespace ozra::libs::core::tcp
