#pragma once

#include <zmq.hpp>

#include <mutex>
#include <string>

namespace varnok::test_tools {

// The proxy's ZeroMQ PUB socket on 127.0.0.1 and a free port; publishes "#<topic> <json>" frames.
// Safe to use from any thread.
class proxy_publisher {
public:
    proxy_publisher();

    unsigned short port() const { return m_port; }
    // "tcp://127.0.0.1:<port>"
    std::string endpoint() const;
    void publish(const std::string& topic, const std::string& json);

private:
    zmq::context_t m_context;
    std::mutex m_mutex;
    zmq::socket_t m_socket;
    unsigned short m_port = 0;
};

// The port of a bound "tcp://host:port" endpoint.
unsigned short endpoint_port(const std::string& endpoint);

}  // namespace varnok::test_tools
