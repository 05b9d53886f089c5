#pragma once

#include <zmq.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace varnok::bench {

// The proxy's publishing side on 127.0.0.1 and a free port ("#<topic> <json>" frames). As an XPUB socket
// it also sees the subscriptions, so the moment a subscriber asks for a topic is known.
class proxy_xpub {
public:
    using clock = std::chrono::steady_clock;

    proxy_xpub();
    ~proxy_xpub();
    proxy_xpub(const proxy_xpub&) = delete;
    proxy_xpub& operator=(const proxy_xpub&) = delete;

    unsigned short port() const { return m_port; }
    void publish(const std::string& topic, const std::string& json);
    // When a subscription naming the topic arrived; nothing yet.
    std::optional<clock::time_point> subscribed(const std::string& topic) const;

private:
    void watch_subscriptions();

    zmq::context_t m_context;
    mutable std::mutex m_mutex;
    zmq::socket_t m_socket;
    unsigned short m_port = 0;
    std::map<std::string, clock::time_point> m_subscriptions;  // first arrival of each
    std::atomic<bool> m_stop{false};
    std::thread m_watcher;
};

}  // namespace varnok::bench
