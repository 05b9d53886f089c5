#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <functional>
#include <memory>

#include "core/tcp/socket.h"

namespace ozra::libs::core::tcp {

// A listening socket; an accept error is logged and ends accepting.
class acceptor {
public:
    using callback = std::function<void(std::unique_ptr<socket> accepted)>;

    virtual ~acceptor() = default;

    // The first call starts accepting.
    virtual void set_callback(callback callback) = 0;
    virtual boost::asio::ip::tcp::endpoint get_local_endpoint() const = 0;
};

}  // namespace ozra::libs::core::tcp
