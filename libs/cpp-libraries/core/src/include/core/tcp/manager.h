#pragma once

#include <memory>
#include <string>

#include "core/ip_protocol.h"
#include "core/tcp/acceptor.h"
#include "core/tcp/socket.h"

namespace ozra::libs::core::tcp {

class manager {
public:
    virtual ~manager() = default;

    // The host is a numeric address; connects at once and raises a Boost system error on failure.
    virtual std::unique_ptr<socket> connect(const std::string& host, int port) = 0;
    // Listens on every address of the protocol.
    virtual std::unique_ptr<acceptor> listen(ip_protocol protocol, int port) = 0;
    virtual std::unique_ptr<acceptor> listen(const std::string& address, int port) = 0;
};

}  // namespace ozra::libs::core::tcp
