#pragma once

#include <memory>
#include <string>

#include "core/zmq/socket.h"

namespace ozra::libs::core::zmq {

// Makes ZeroMQ sockets on one context; raises boost::system::system_error of the "ZeroMQ" category
// when an endpoint is rejected.
class manager {
public:
    virtual ~manager() = default;

    virtual std::unique_ptr<socket> connect(socket::type type, const std::string& address) = 0;
    // A TCP port of "*" or "!", optionally followed by "[first-last]", binds the first free port of that
    // range (49152-65535 by default), tried in ascending order from the first port or from a random one.
    virtual std::unique_ptr<socket> bind(socket::type type, const std::string& address) = 0;
};

}  // namespace ozra::libs::core::zmq
