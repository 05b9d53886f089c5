#include "simulator/proxy_publisher.h"

namespace varnok::test_tools {

unsigned short endpoint_port(const std::string& endpoint) {
    return static_cast<unsigned short>(std::stoul(endpoint.substr(endpoint.rfind(':') + 1)));
}

proxy_publisher::proxy_publisher() : m_socket(m_context, zmq::socket_type::pub) {
    m_socket.set(zmq::sockopt::linger, 0);
    m_socket.bind("tcp://127.0.0.1:*");
    m_port = endpoint_port(m_socket.get(zmq::sockopt::last_endpoint));
}

std::string proxy_publisher::endpoint() const {
    return "tcp://127.0.0.1:" + std::to_string(m_port);
}

void proxy_publisher::publish(const std::string& topic, const std::string& json) {
    const std::string frame = "#" + topic + " " + json;
    std::lock_guard lock(m_mutex);
    m_socket.send(zmq::buffer(frame), zmq::send_flags::none);
}

}  // namespace varnok::test_tools
