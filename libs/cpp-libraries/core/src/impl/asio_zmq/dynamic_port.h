#pragma once

#include <optional>
#include <string>

namespace ozra::libs::core::asio_zmq {

// A TCP endpoint whose port is chosen when binding: "tcp://host:*" tries the ports of the range in
// ascending order, "tcp://host:!" starts at a random port of it; "[first-last]" after the mark narrows
// the range, either bound may be left out (49152 and 65535 by default).
struct dynamic_port_endpoint {
    std::string prefix;  // "tcp://host:"
    bool random_start = false;
    int first = 0;
    int last = 0;

    std::string with_port(int port) const { return prefix + std::to_string(port); }
};

// No value for an endpoint without a dynamic port; raises the ZeroMQ EINVAL error for a bad range.
std::optional<dynamic_port_endpoint> parse_dynamic_port(const std::string& endpoint);

}  // namespace ozra::libs::core::asio_zmq
