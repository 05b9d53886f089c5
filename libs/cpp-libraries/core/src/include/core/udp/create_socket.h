#pragma once

#include <boost/asio/io_context.hpp>

#include <memory>
#include <string>

#include "core/ip_protocol.h"
#include "core/logger.h"
#include "core/udp/socket.h"

namespace ozra::libs::core::udp {

// Bound to every address of the protocol.
std::unique_ptr<socket> create_socket(boost::asio::io_context& io_context, const component_logger& logger,
                                      ip_protocol protocol, int port);
std::unique_ptr<socket> create_socket(boost::asio::io_context& io_context, const component_logger& logger,
                                      const std::string& address, int port);

}  // namespace ozra::libs::core::udp
