#include "proxy_xpub.h"

#include "simulator/proxy_publisher.h"

namespace varnok::bench {

namespace {
constexpr auto watch_period = std::chrono::milliseconds(1);
}

proxy_xpub::proxy_xpub() : m_socket(m_context, zmq::socket_type::xpub) {
    m_socket.set(zmq::sockopt::linger, 0);
    m_socket.set(zmq::sockopt::sndhwm, 0);
    m_socket.bind("tcp://127.0.0.1:*");
    m_port = test_tools::endpoint_port(m_socket.get(zmq::sockopt::last_endpoint));
    m_watcher = std::thread([this] { watch_subscriptions(); });
}

proxy_xpub::~proxy_xpub() {
    m_stop = true;
    m_watcher.join();
}

void proxy_xpub::publish(const std::string& topic, const std::string& json) {
    const std::string frame = "#" + topic + " " + json;
    std::lock_guard lock(m_mutex);
    m_socket.send(zmq::buffer(frame), zmq::send_flags::none);
}

std::optional<proxy_xpub::clock::time_point> proxy_xpub::subscribed(const std::string& topic) const {
    std::lock_guard lock(m_mutex);
    for (const auto& [subscription, at] : m_subscriptions) {
        if (subscription.find(topic) != std::string::npos) {
            return at;
        }
    }
    return std::nullopt;
}

// Subscriptions are rare: polling them under the lock that publishing takes keeps the socket on one
// thread at a time.
void proxy_xpub::watch_subscriptions() {
    while (!m_stop) {
        {
            std::lock_guard lock(m_mutex);
            zmq::message_t message;
            while (m_socket.recv(message, zmq::recv_flags::dontwait)) {
                const auto* bytes = static_cast<const char*>(message.data());
                if (message.size() > 1 && bytes[0] == 1) {
                    m_subscriptions.emplace(std::string(bytes + 1, message.size() - 1), clock::now());
                }
            }
        }
        std::this_thread::sleep_for(watch_period);
    }
}

}  // namespace varnok::bench
