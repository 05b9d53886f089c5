#include "simulator/debug_collector.h"

#include <chrono>

namespace varnok::test_tools {

namespace {
constexpr std::chrono::milliseconds poll_period{100};
const std::string metrics_prefix = "Metrics at ";
}  // namespace

debug_collector::debug_collector(const std::string& log_path, std::size_t kept_lines)
    : m_context(), m_socket(m_context, zmq::socket_type::pull), m_kept_lines(kept_lines) {
    m_socket.set(zmq::sockopt::linger, 0);
    m_socket.bind("tcp://127.0.0.1:*");
    m_endpoint = m_socket.get(zmq::sockopt::last_endpoint);
    if (!log_path.empty()) {
        m_log.open(log_path, std::ios::app);
    }
    m_thread = std::thread([this] { receive_lines(); });
}

debug_collector::~debug_collector() {
    m_stop = true;
    m_thread.join();
}

std::vector<std::string> debug_collector::last_lines() const {
    std::lock_guard lock(m_mutex);
    return {m_lines.begin(), m_lines.end()};
}

std::size_t debug_collector::line_count() const {
    std::lock_guard lock(m_mutex);
    return m_count;
}

std::string debug_collector::metrics_url() const {
    std::lock_guard lock(m_mutex);
    return m_metrics_url;
}

void debug_collector::receive_lines() {
    zmq::pollitem_t item{m_socket.handle(), 0, ZMQ_POLLIN, 0};
    while (!m_stop) {
        zmq::poll(&item, 1, poll_period);
        zmq::message_t message;
        while (m_socket.recv(message, zmq::recv_flags::dontwait)) {
            std::string line = message.to_string();
            if (m_log.is_open()) {
                m_log << line << '\n' << std::flush;
            }
            std::lock_guard lock(m_mutex);
            const auto metrics = line.find(metrics_prefix);
            if (m_metrics_url.empty() && metrics != std::string::npos) {
                m_metrics_url = line.substr(metrics + metrics_prefix.size());
            }
            ++m_count;
            m_lines.push_back(std::move(line));
            if (m_lines.size() > m_kept_lines) {
                m_lines.pop_front();
            }
        }
    }
}

}  // namespace varnok::test_tools
